// POSIX change locks: an exclusive open-file-description lock on "NAME.lock" beside the file,
// taken without waiting. The lock file is removed while still held, so a process that opened
// it just before finds its lock on a file no longer named and makes a fresh one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/host_posix.h"

namespace host_posix {
namespace {

// Rounds of "open, lock, still the named file?" before giving up on a name that keeps changing.
constexpr int kLockRounds = 8;

// The lock file's system path: "NAME.lock" mapped as every host path is, so that a lock file
// of any spelling is found while it exists.
bool lock_path(const char* path, PosixPath& out) {
  char name[HOST_PATH_ROOM];
  const size_t length = strnlen(path, HOST_PATH_ROOM);
  static const char kSuffix[] = ".lock";
  if (length + sizeof kSuffix > sizeof name) return false;
  memcpy(name, path, length);
  memcpy(name + length, kSuffix, sizeof kSuffix);
  return to_posix_path(name, out);
}

// True when fd is the file the path names now.
bool still_named(int fd, const char* path) {
  struct stat held, named;
  return fstat(fd, &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

HostHandle lock(const char* path) {
  PosixPath p;
  if (!lock_path(path, p)) return -1;
  for (int round = 0; round < kLockRounds; ++round) {
    const int fd = open(p.text, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
    if (fd < 0) return -1;
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &whole) != 0) {
      const int why = errno;
      close(fd);
      return why == EAGAIN || why == EACCES ? HOST_IN_USE : -1;
    }
    if (still_named(fd, p.text)) return fd;
    close(fd);  // its holder removed it meanwhile: lock a fresh one
  }
  return -1;
}

int unlock(const char* path, HostHandle lock) {
  PosixPath p;
  if (lock_path(path, p) && still_named(lock, p.text)) unlink(p.text);
  return close(lock) == 0 ? 0 : -1;
}

}  // namespace host_posix
