// The packed record read without the library: 8-byte head, then the masked stream.
#include "masked_model.h"

#include <zlib.h>

std::optional<std::vector<uint8_t>> record_content(const std::vector<uint8_t>& record,
                                                   uint32_t sizeLimit) {
  if (record.size() < 8) return std::nullopt;
  const auto le32 = [&](size_t at) {
    return uint32_t(record[at]) | uint32_t(record[at + 1]) << 8 |
           uint32_t(record[at + 2]) << 16 | uint32_t(record[at + 3]) << 24;
  };
  const uint32_t unpacked = le32(0);
  const uint32_t packed = le32(4);
  // Deflate gives at most 1032 bytes for each stream byte.
  if (packed > record.size() - 8 || unpacked > 0x7FFFFFFFu || unpacked > sizeLimit ||
      uint64_t(unpacked) > uint64_t(packed) * 1032) {
    return std::nullopt;
  }
  std::vector<uint8_t> content(unpacked);
  std::vector<uint8_t> stream(record.begin() + 8, record.begin() + 8 + long(packed));
  if (stream.empty()) return std::nullopt;
  stream[0] ^= 0x5A;
  uint8_t none = 0;
  uLongf produced = unpacked;
  uLong consumed = uLong(stream.size());
  if (uncompress2(unpacked != 0 ? content.data() : &none, &produced, stream.data(), &consumed) !=
          Z_OK ||
      produced != unpacked || consumed != stream.size())
    return std::nullopt;
  return content;
}
