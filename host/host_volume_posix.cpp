// POSIX volume flush: syncfs on the file system that holds a path, which writes its folder
// changes (renames included) along with every file's data.
#include <fcntl.h>
#include <unistd.h>

#include "host/host_posix.h"

namespace host_posix {

int flush_volume(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  const int fd = open(p.text, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  const bool flushed = syncfs(fd) == 0;
  close(fd);
  return flushed ? 0 : -1;
}

}  // namespace host_posix
