// 16-bit top-down bitmap buffers: one heap block holding the 40-byte header (little-endian),
// the three 5-6-5 colour masks at byte 40, and zeroed pixels from byte 1064 on.
#include "platform/dib.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/host.h"

namespace {

constexpr size_t MASKS_OFFSET = 40;
constexpr uint32_t MASK_RED = 0xF800;
constexpr uint32_t MASK_GREEN = 0x07E0;
constexpr uint32_t MASK_BLUE = 0x001F;
constexpr size_t HEIGHT_OFFSET = offsetof(DibHeader, height);

void put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

int make_dib16(int width, int height, void** outBlock, uint16_t** outPixels, uint32_t** outMasks) {
  if (width < 0 || height < 0) return -1;
  // The image size is a 32-bit header field, and the whole block must fit a size_t.
  const uint64_t imageBytes = 2ull * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (imageBytes > 0xFFFFFFFFull - DIB_PIXELS_OFFSET) return -1;
  const uint64_t total = DIB_PIXELS_OFFSET + imageBytes;
  if (total > static_cast<uint64_t>(SIZE_MAX)) return -1;

  uint8_t* block = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(total)));
  if (block == nullptr) return -1;
  memset(block, 0, static_cast<size_t>(total));

  put32(block + offsetof(DibHeader, size), sizeof(DibHeader));
  put32(block + offsetof(DibHeader, width), static_cast<uint32_t>(width));
  put32(block + HEIGHT_OFFSET, 0u - static_cast<uint32_t>(height));  // negative: rows top-down
  put16(block + offsetof(DibHeader, planes), 1);
  put16(block + offsetof(DibHeader, bitCount), 16);
  put32(block + offsetof(DibHeader, compression), DIB_BI_BITFIELDS);
  put32(block + offsetof(DibHeader, sizeImage), static_cast<uint32_t>(imageBytes));
  put32(block + MASKS_OFFSET, MASK_RED);
  put32(block + MASKS_OFFSET + 4, MASK_GREEN);
  put32(block + MASKS_OFFSET + 8, MASK_BLUE);

  if (outBlock != nullptr) *outBlock = block;
  if (outMasks != nullptr) *outMasks = reinterpret_cast<uint32_t*>(block + MASKS_OFFSET);
  if (outPixels != nullptr) *outPixels = reinterpret_cast<uint16_t*>(block + DIB_PIXELS_OFFSET);
  return 0;
}

DibHeader* flip_dib_rows(DibHeader* header) {
  if (header == nullptr) return nullptr;
  uint8_t* at = reinterpret_cast<uint8_t*>(header) + HEIGHT_OFFSET;
  put32(at, 0u - get32(at));  // unsigned negation: no overflow even for the most negative height
  return header;
}
