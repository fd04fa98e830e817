// POSIX copy of a file's access entries: Wine keeps the security descriptor that Windows
// programs set on a file in its extended attribute "user.wine.sd" (the permission bits stand
// for the rest, and the replace keeps those). A new copy takes the old file's descriptor, so
// Wine shows it with the entries the old file had.
#include <errno.h>
#include <sys/xattr.h>

#include "host/host_posix.h"

namespace host_posix {
namespace {

constexpr char kWineDescriptor[] = "user.wine.sd";

}  // namespace

int copy_access(const char* from, const char* to) {
  PosixPath source, target;
  if (!to_posix_path(from, source) || !to_posix_path(to, target)) return -1;
  const ssize_t size = getxattr(source.text, kWineDescriptor, nullptr, 0);
  if (size < 0) {
    // No descriptor of its own, or a file system without extended attributes: nothing to keep.
    return errno == ENODATA || errno == ENOTSUP ? 0 : -1;
  }
  void* descriptor = mem_alloc(size_t(size) + 1);
  if (descriptor == nullptr) return -1;
  const ssize_t read = getxattr(source.text, kWineDescriptor, descriptor, size_t(size) + 1);
  const bool copied =
      read >= 0 && setxattr(target.text, kWineDescriptor, descriptor, size_t(read), 0) == 0;
  mem_free(descriptor);
  return copied ? 0 : -1;
}

}  // namespace host_posix
