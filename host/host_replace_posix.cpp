// POSIX file steps for the tools' safe changes: a rename over an existing file that keeps the
// target's permission bits and reaches the disk, cutting a file to a length, syncing a file's
// data, and the system path a host path maps to.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "host/host_posix.h"

namespace host_posix {
namespace {

bool sync_system_path(const char* path, int flags) {
  const int fd = open(path, flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// The folder part of a POSIX path, for syncing the folder after a rename.
void folder_of(const char* path, char* out, size_t room) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::snprintf(out, room, ".");
  } else if (slash == path) {
    std::snprintf(out, room, "/");
  } else {
    std::snprintf(out, room, "%.*s", int(slash - path), path);
  }
}

}  // namespace

int replace(const char* from, const char* to) {
  PosixPath source, target;
  if (!to_posix_path(from, source) || !to_posix_path(to, target)) return -1;
  struct stat previous;
  if (stat(target.text, &previous) == 0 && chmod(source.text, previous.st_mode & 07777) != 0)
    return -1;
  FolderChange leaving(source.text), arriving(target.text);
  if (rename(source.text, target.text) != 0) return -1;
  leaving.removed();
  arriving.added();
  char folder[POSIX_PATH_ROOM];
  folder_of(target.text, folder, sizeof folder);
  sync_system_path(folder, O_RDONLY | O_DIRECTORY);  // some file systems cannot sync folders
  return 0;
}

int truncate(const char* path, int32_t length) {
  PosixPath p;
  if (length < 0 || !to_posix_path(path, p)) return -1;
  const int fd = open(p.text, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const bool ok = ftruncate(fd, off_t(length)) == 0;
  return close(fd) == 0 && ok ? 0 : -1;
}

int sync(const char* path) {
  PosixPath p;
  return to_posix_path(path, p) && sync_system_path(p.text, O_RDONLY) ? 0 : -1;
}

}  // namespace host_posix

size_t host_system_path(const char* path, char* buffer, size_t room) {
  host_posix::PosixPath p;
  if (path == nullptr || buffer == nullptr || !host_posix::to_posix_path(path, p)) return 0;
  const size_t length = strlen(p.text);
  if (length >= room) return 0;
  memcpy(buffer, p.text, length + 1);
  return length;
}
