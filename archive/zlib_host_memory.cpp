// zlib allocation through mem_alloc / mem_free, overflow of items × size refused.
#include "archive/zlib_host_memory.h"

#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace {

voidpf host_zalloc(voidpf, uInt items, uInt size) {
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  return mem_alloc(size_t(items) * size);
}

void host_zfree(voidpf, voidpf block) { mem_free(block); }

}  // namespace

void zlib_use_host_memory(z_stream* stream) {
  stream->zalloc = host_zalloc;
  stream->zfree = host_zfree;
  stream->opaque = Z_NULL;
}
