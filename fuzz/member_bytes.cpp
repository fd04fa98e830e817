// Reading one member whole: open, size, then reads in steps that grow only as bytes arrive, so a
// size the directory claims but the archive cannot hold costs no allocation of that size.
#include "member_bytes.h"

#include <algorithm>

#include "host/host.h"
#include "vfs/file_handle.h"

std::optional<std::vector<uint8_t>> member_bytes(const char* path) {
  const int32_t h = vfs_open(path, HOST_MODE_READ);
  if (h < 0) return std::nullopt;
  const int32_t size = vfs_size(h);
  std::vector<uint8_t> out;
  bool whole = size >= 0;
  int64_t step = 64 * 1024;
  while (whole && int64_t(out.size()) < size) {
    const int32_t want = int32_t(std::min<int64_t>(step, size - int64_t(out.size())));
    const size_t at = out.size();
    out.resize(at + size_t(want));
    whole = vfs_read(h, out.data() + at, want) == want;
    step *= 2;
  }
  vfs_close(h);
  if (!whole) return std::nullopt;
  return out;
}
