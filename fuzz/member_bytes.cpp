// Reading one member whole: open, size, one read, close.
#include "member_bytes.h"

#include "host/host.h"
#include "vfs/file_handle.h"

std::optional<std::vector<uint8_t>> member_bytes(const char* path) {
  const int32_t h = vfs_open(path, HOST_MODE_READ);
  if (h < 0) return std::nullopt;
  const int32_t size = vfs_size(h);
  std::vector<uint8_t> out(size_t(size > 0 ? size : 0));
  const bool whole = size >= 0 && vfs_read(h, out.data(), size) == size;
  vfs_close(h);
  if (!whole) return std::nullopt;
  return out;
}
