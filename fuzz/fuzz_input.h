// Reading a fuzz input in pieces: single bytes, little-endian counts, length-prefixed blocks,
// bounded texts and the rest; reads past the end give zeros and empty pieces, never fail.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FuzzInput {
  const uint8_t* data;
  size_t size;
  size_t at = 0;

  size_t left() const { return size - std::min(at, size); }
  uint8_t byte() { return at < size ? data[at++] : 0; }
  uint16_t le16() { return uint16_t(byte() | byte() << 8); }
  // The next count bytes (fewer at the end).
  std::vector<uint8_t> take(size_t count) {
    const size_t n = std::min(count, left());
    std::vector<uint8_t> out(data + at, data + at + n);
    at += n;
    return out;
  }
  // A block preceded by its two-byte length.
  std::vector<uint8_t> block() { return take(le16()); }
  // A text preceded by a length byte, at most maxLength bytes.
  std::string text(size_t maxLength) {
    const size_t n = std::min<size_t>(byte() % (maxLength + 1), left());
    std::string s(reinterpret_cast<const char*>(data + at), n);
    at += n;
    return s;
  }
  std::vector<uint8_t> rest() { return take(left()); }
};
