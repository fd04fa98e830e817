// 16-bit top-down bitmap buffers (5-6-5 colour masks) with their 40-byte bitmap header.
// Part of the library for its users; the updater itself draws nothing.
#pragma once

#include <cstdint>

// The 40-byte bitmap information header, little-endian on disk and in memory.
struct DibHeader {
  uint32_t size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter;
  int32_t yPelsPerMeter;
  uint32_t clrUsed;
  uint32_t clrImportant;
};
static_assert(sizeof(DibHeader) == 40, "bitmap header is 40 bytes");

constexpr uint32_t DIB_BI_BITFIELDS = 3;
constexpr uint32_t DIB_PIXELS_OFFSET = 1064;

// Allocates one block of 1064 + 2*w*h bytes: header, masks at byte 40, zeroed pixels at 1064.
// Returns 0; on allocation failure (or a size that does not fit) returns -1 and writes nothing.
int make_dib16(int width, int height, void** outBlock, uint16_t** outPixels, uint32_t** outMasks);

// Negates the header's height (top-down <-> bottom-up); returns the header.
DibHeader* flip_dib_rows(DibHeader* header);
