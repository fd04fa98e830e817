// Masked zlib streams: a standard zlib stream (RFC 1950) whose first byte is XORed with
// STREAM_MASK. One-shot wrappers over whole buffers; results are bytes produced, 0 on failure.
#pragma once

#include <cstdint>

constexpr uint8_t STREAM_MASK = 0x5A;

// Output room 0 means 0x40000000 bytes (the caller vouches for the room).
constexpr uint32_t MASKED_UNBOUNDED_ROOM = 0x40000000;

uint32_t masked_compress2(void* output, const void* input, uint32_t inputLength,
                          uint32_t outputRoom, int level);
uint32_t masked_compress(void* output, const void* input, uint32_t inputLength,
                         uint32_t outputRoom);
// The input must be writable: its first byte is unmasked in place while the call runs, and
// restored before it returns. The output room is used as given (0 stays 0).
uint32_t masked_uncompress(void* output, void* input, uint32_t inputLength, uint32_t outputRoom);
