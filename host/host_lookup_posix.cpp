// POSIX host steps that tell "no such file" from "could not look", and give a file a second
// name (a hard link), as the updater's crash-safe replacement keeps its backups.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/host_posix.h"

namespace host_posix {

int lookup(const char* path, uint32_t* attributes) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat st;
  if (stat(p.text, &st) != 0) return errno == ENOENT || errno == ENOTDIR ? HOST_ABSENT : -1;
  *attributes = attributes_of(st);
  return HOST_FOUND;
}

int link(const char* existing, const char* newPath) {
  PosixPath from, to;
  if (!to_posix_path(existing, from) || !to_posix_path(newPath, to, false)) return -1;
  return ::link(from.text, to.text) == 0 ? 0 : -1;
}

}  // namespace host_posix
