// POSIX volume flush: the folder's own changes (renames included) put on disk by an fsync of
// the folder; the journalled file systems Linux mounts commit them in order, so this covers every
// rename made in it before (a syncfs of the whole file system would write every other file too).
#include <fcntl.h>
#include <unistd.h>

#include "host/host_posix.h"

namespace host_posix {

int flush_volume(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  const int fd = open(p.text, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  const bool flushed = fsync(fd) == 0;
  close(fd);
  return flushed ? 0 : -1;
}

}  // namespace host_posix
