// Masked zlib streams: a standard zlib stream (RFC 1950) whose first byte is XORed with
// STREAM_MASK. One-shot wrappers over whole buffers; results are bytes produced, 0 on failure.
#pragma once

#include <cstdint>

constexpr uint8_t STREAM_MASK = 0x5A;

// Deflate cannot expand data by more than about 1032:1: a stream said to give more is damaged,
// and is refused before anything is allocated for what it claims.
constexpr uint64_t MASKED_MAX_INFLATE_RATIO = 1032;
constexpr bool masked_ratio_possible(uint64_t streamBytes, uint64_t contentBytes) {
  return contentBytes <= streamBytes * MASKED_MAX_INFLATE_RATIO;
}

// Output room 0 means 0x40000000 bytes (the caller vouches for the room).
constexpr uint32_t MASKED_UNBOUNDED_ROOM = 0x40000000;

uint32_t masked_compress2(void* output, const void* input, uint32_t inputLength,
                          uint32_t outputRoom, int level);
uint32_t masked_compress(void* output, const void* input, uint32_t inputLength,
                         uint32_t outputRoom);
// The input must be writable: its first byte is unmasked in place while the call runs, and
// restored before it returns. The output room is used as given (0 stays 0). The stream may end
// before the input does; consumed, when given, receives the input bytes the stream took.
uint32_t masked_uncompress(void* output, void* input, uint32_t inputLength, uint32_t outputRoom,
                           uint32_t* consumed = nullptr);
