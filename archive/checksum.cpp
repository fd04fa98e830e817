// CRC-32 through zlib, which the archive layer already carries.
#include "archive/checksum.h"

#include <zlib.h>

uint32_t pak_crc32(uint32_t crc, const void* data, size_t length) {
  const auto* bytes = static_cast<const Bytef*>(data);
  while (length > 0) {
    const uInt step = length > 0x40000000u ? 0x40000000u : uInt(length);
    crc = uint32_t(crc32(crc, bytes, step));
    bytes += step;
    length -= step;
  }
  return crc;
}
