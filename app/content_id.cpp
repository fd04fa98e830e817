// Size and CRC-32 of a file's content, read through a fixed buffer.
#include "app/content_id.h"

#include "archive/checksum.h"

namespace {

constexpr int32_t kChunk = 64 * 1024;

}  // namespace

bool ContentIdOfHandle(HostHandle file, ContentId* id) {
  const int32_t size = host_size(file);
  if (size < 0 || host_seek(file, 0, HOST_SEEK_BEGIN) != 0) return false;
  auto* buffer = static_cast<uint8_t*>(mem_alloc(kChunk));
  if (buffer == nullptr) return false;
  uint32_t crc = 0;
  int32_t left = size;
  while (left > 0) {
    const int32_t want = left < kChunk ? left : kChunk;
    if (host_read(file, buffer, want) != want) break;
    crc = pak_crc32(crc, buffer, size_t(want));
    left -= want;
  }
  mem_free(buffer);
  if (left != 0) return false;
  *id = ContentId{uint32_t(size), crc};
  return true;
}

int ContentIdOfFile(const char* path, ContentId* id) {
  const int there = host_lookup(path, nullptr);
  if (there == HOST_ABSENT) return 0;
  if (there != HOST_FOUND) return -1;
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  const bool read = ContentIdOfHandle(file, id);
  host_close(file);
  return read ? 1 : -1;
}
