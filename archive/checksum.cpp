// CRC-32 through libdeflate where the build has it (carry-less multiplication, over twice
// zlib's speed), else through zlib, which the archive layer already carries. Both give the
// same value.
#include "archive/checksum.h"

#include <zlib.h>

#if VELMOR_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

uint32_t pak_crc32(uint32_t crc, const void* data, size_t length) {
#if VELMOR_HAVE_LIBDEFLATE
  return libdeflate_crc32(crc, data, length);
#else
  const auto* bytes = static_cast<const Bytef*>(data);
  while (length > 0) {
    const uInt step = length > 0x40000000u ? 0x40000000u : uInt(length);
    crc = uint32_t(crc32(crc, bytes, step));
    bytes += step;
    length -= step;
  }
  return crc;
#endif
}
