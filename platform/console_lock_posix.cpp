// Single-instance locks of the Win32 stand-in: a top-level window holds an exclusive flock on
// a file named after its user, class and title, so that a window lookup from any of the user's
// processes finds it. The file must be the user's own regular file, private to it: one planted
// by someone else (another owner, a link, wider permissions) is refused out loud, never taken
// for a running copy.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console_posix.h"

namespace {

constexpr size_t LOCK_PATH_ROOM = 4096;
constexpr size_t CLASS_PART_ROOM = 32;

// A 64-bit FNV-1a hash of class and title, so any title bytes give a plain file name.
uint64_t name_hash(const char* className, const char* title) {
  uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
      h ^= static_cast<unsigned char>(*p);
      h *= 0x100000001b3ull;
    }
  };
  mix(className);
  h ^= 0x01;  // keeps "ab"+"c" apart from "a"+"bc"
  h *= 0x100000001b3ull;
  mix(title);
  return h;
}

// The lock file's path; false when it does not fit.
bool lock_path(const char* className, const char* title, char* out, size_t room) {
  const char* folder = getenv("XDG_RUNTIME_DIR");
  if (folder == nullptr || folder[0] != '/') folder = "/tmp";
  // The readable part of the name: the class's letters and digits.
  char classPart[CLASS_PART_ROOM];
  size_t n = 0;
  for (const char* p = className; *p != '\0' && n + 1 < sizeof classPart; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      classPart[n++] = static_cast<char>(c);
    }
  }
  classPart[n] = '\0';
  const int written = snprintf(out, room, "%s/velmor-ui-%lu-%s-%016llx.lock", folder,
                               static_cast<unsigned long>(geteuid()), classPart,
                               static_cast<unsigned long long>(name_hash(className, title)));
  return written > 0 && static_cast<size_t>(written) < room;
}

// True when the open lock file is a regular file of this user's that no one else may open.
bool own_private_file(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 077) == 0;
}

void say_refused(const char* path, const char* why) {
  fprintf(stderr, "velmor-update: single-instance lock %s: %s\n", path, why);
}

}  // namespace

namespace console {

int instance_lock_acquire(const char* className, const char* title) {
  if (className == nullptr || title == nullptr) return -1;
  char path[LOCK_PATH_ROOM];
  if (!lock_path(className, title, path, sizeof path)) return -1;
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    say_refused(path, strerror(errno));
    return -1;
  }
  if (!own_private_file(fd)) {
    say_refused(path, "not a private file of this user's; remove it");
    close(fd);
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) say_refused(path, strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

bool instance_lock_held(const char* className, const char* title) {
  if (className == nullptr || title == nullptr) return false;
  char path[LOCK_PATH_ROOM];
  if (!lock_path(className, title, path, sizeof path)) return false;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;  // never made: no such window (or not one to trust)
  if (!own_private_file(fd)) {
    close(fd);
    return false;  // not a window of this user's copy; making the window says why
  }
  // A shared lock is refused exactly while some window holds the exclusive one.
  bool held = false;
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
    held = errno == EWOULDBLOCK;
  } else {
    flock(fd, LOCK_UN);
  }
  close(fd);
  return held;
}

void instance_lock_release(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

}  // namespace console
