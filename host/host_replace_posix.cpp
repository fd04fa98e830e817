// POSIX file steps for safe changes: a rename over an existing file that keeps the target's
// permission bits, waits for no reader or writer of it and reaches the disk; cutting a file to a
// length; syncing a file's data or a folder's names; carrying permission bits to an open file;
// and the system path a host path maps to.
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

// Opens the target of a replace and holds it exclusively, as a writer of it would: -1 when it
// does not exist or cannot be opened, HOST_IN_USE while any handle of the host layer (in any
// process) has it open. A target only readable is checked rather than held.
int hold_target(const char* path) {
  int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  const bool writable = fd >= 0;
  if (!writable) fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (writable ? !lock_file(fd, F_WRLCK) : held_by_others(fd, F_WRLCK)) {
    close(fd);
    return HOST_IN_USE;
  }
  return fd;
}

}  // namespace

int replace(const char* from, const char* to) {
  PosixPath source, target;
  if (!to_posix_path(from, source) || !to_posix_path(to, target)) return -1;
  const int held = hold_target(target.text);
  if (held == HOST_IN_USE) return HOST_IN_USE;
  struct stat previous, current;
  FolderChange leaving(source.text), arriving(target.text);
  // The target's permission bits, never its set-ID or sticky bits; a source that already has
  // them (its owner set them through its handle) is left alone.
  const bool keepsMode = stat(target.text, &previous) != 0 ||
                         (stat(source.text, &current) == 0 &&
                          (current.st_mode & 07777) == (previous.st_mode & 0777)) ||
                         chmod(source.text, previous.st_mode & 0777) == 0;
  const bool placed = keepsMode && rename(source.text, target.text) == 0;
  if (held >= 0) close(held);  // the lock goes with the replaced file
  if (!placed) return -1;
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

int carry_permissions(HostHandle handle, const char* like) {
  PosixPath p;
  struct stat from;
  if (!to_posix_path(like, p) || stat(p.text, &from) != 0) return -1;
  return fchmod(handle, from.st_mode & 0777) == 0 ? 0 : -1;
}

int sync_folder(const char* path) {
  PosixPath p;
  return to_posix_path(path, p) && sync_system_path(p.text, O_RDONLY | O_DIRECTORY) ? 0 : -1;
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
