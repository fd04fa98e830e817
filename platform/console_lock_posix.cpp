// Single-instance locks of the Win32 stand-in: a top-level window holds an exclusive flock on
// a file named after its class and title, so that a window lookup from any process finds it.
#include <fcntl.h>
#include <sys/file.h>
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
  const int written = snprintf(out, room, "%s/velmor-ui-%s-%016llx.lock", folder, classPart,
                               static_cast<unsigned long long>(name_hash(className, title)));
  return written > 0 && static_cast<size_t>(written) < room;
}

}  // namespace

namespace console {

int instance_lock_acquire(const char* className, const char* title) {
  if (className == nullptr || title == nullptr) return -1;
  char path[LOCK_PATH_ROOM];
  if (!lock_path(className, title, path, sizeof path)) return -1;
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool instance_lock_held(const char* className, const char* title) {
  if (className == nullptr || title == nullptr) return false;
  char path[LOCK_PATH_ROOM];
  if (!lock_path(className, title, path, sizeof path)) return false;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;  // never made: no such window
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
