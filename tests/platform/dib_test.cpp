// 16-bit bitmap buffers: the header and mask bytes as laid out, zeroed pixels, refused sizes,
// allocation failure leaving the outputs alone, and flipping the row order.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "host/host.h"
#include "platform/dib.h"
#include "support/fault_injection.h"
#include "support/guarded_bytes.h"
#include "support/host_override.h"

namespace {

std::vector<uint8_t> le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// The block comes from guarded pages, so a pixel past the block's end faults on every build.
GuardedBytes* s_guarded = nullptr;
void* guarded_alloc(size_t bytes) {
  s_guarded = new GuardedBytes(bytes);
  return s_guarded->data();
}
void guarded_free(void* block) {
  if (s_guarded != nullptr && block == s_guarded->data()) {
    delete s_guarded;
    s_guarded = nullptr;
  }
}

TEST(Dib16, HeaderMasksAndPixelsAreLaidOutAsExpected) {
  void* block = nullptr;
  uint16_t* pixels = nullptr;
  uint32_t* masks = nullptr;
  host_override(&HostOps::alloc, guarded_alloc);
  host_override(&HostOps::free, guarded_free);
  const int made = make_dib16(3, 2, &block, &pixels, &masks);
  host_restore_all();
  ASSERT_EQ(made, 0);
  ASSERT_NE(block, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(block);
  struct {
    size_t offset;
    std::vector<uint8_t> expected;
    const char* field;
  } const fields[] = {
      {0, le32(40), "size"},          {4, le32(3), "width"},
      {8, le32(0xFFFFFFFE), "height -2"},
      {12, {1, 0}, "planes"},         {14, {16, 0}, "bit count"},
      {16, le32(3), "compression"},   {20, le32(12), "image size"},
      {24, le32(0), "x pels"},        {28, le32(0), "y pels"},
      {32, le32(0), "colours used"},  {36, le32(0), "colours important"},
      {40, le32(0xF800), "red mask"}, {44, le32(0x07E0), "green mask"},
      {48, le32(0x001F), "blue mask"},
  };
  for (const auto& f : fields) {
    SCOPED_TRACE(f.field);
    EXPECT_EQ(std::vector<uint8_t>(bytes + f.offset, bytes + f.offset + f.expected.size()),
              f.expected);
  }
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(masks), bytes + 40);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(pixels), bytes + DIB_PIXELS_OFFSET);
  for (size_t i = 52; i < DIB_PIXELS_OFFSET + 12; ++i) EXPECT_EQ(bytes[i], 0) << i;
  // Every pixel is addressable, and the last ends the block.
  for (int i = 0; i < 6; ++i) pixels[i] = 0xFFFF;
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(pixels + 6), s_guarded->data() + s_guarded->size());
  const auto* header = static_cast<const DibHeader*>(block);
  EXPECT_EQ(header->height, -2);
  EXPECT_EQ(header->sizeImage, 12u);
  guarded_free(block);
}

TEST(Dib16, OutputsAreOptionalExceptWhereWanted) {
  uint16_t* pixels = nullptr;
  ASSERT_EQ(make_dib16(1, 1, nullptr, &pixels, nullptr), 0);
  ASSERT_NE(pixels, nullptr);
  mem_free(reinterpret_cast<uint8_t*>(pixels) - DIB_PIXELS_OFFSET);

  void* block = nullptr;
  ASSERT_EQ(make_dib16(0, 0, &block, nullptr, nullptr), 0);  // header and masks only
  EXPECT_EQ(static_cast<const DibHeader*>(block)->sizeImage, 0u);
  mem_free(block);
}

TEST(Dib16, SizesThatDoNotFitAreRefusedWithoutAllocating) {
  struct {
    int width;
    int height;
  } const cases[] = {
      {-1, 10},
      {10, -1},
      {65536, 32768},  // exactly 4 GiB of pixels
      {INT_MAX, INT_MAX},
      {INT_MAX, 1},  // the pixels' size fits 32 bits, not with the 1064 bytes before them
  };
  HostFaults faults;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    void* block = reinterpret_cast<void*>(1);
    EXPECT_EQ(make_dib16(c.width, c.height, &block, nullptr, nullptr), -1);
    EXPECT_EQ(block, reinterpret_cast<void*>(1));
  }
  EXPECT_EQ(faults.calls(HostOp::Alloc), 0);
}

TEST(Dib16, AllocationFailureWritesNoOutput) {
  HostFaults faults;
  faults.fail(HostOp::Alloc, 1);
  void* block = reinterpret_cast<void*>(1);
  uint16_t* pixels = reinterpret_cast<uint16_t*>(2);
  uint32_t* masks = reinterpret_cast<uint32_t*>(4);
  EXPECT_EQ(make_dib16(4, 4, &block, &pixels, &masks), -1);
  EXPECT_EQ(block, reinterpret_cast<void*>(1));
  EXPECT_EQ(pixels, reinterpret_cast<uint16_t*>(2));
  EXPECT_EQ(masks, reinterpret_cast<uint32_t*>(4));
}

TEST(Dib16, FlipNegatesTheHeightEachTime) {
  void* block = nullptr;
  ASSERT_EQ(make_dib16(2, 5, &block, nullptr, nullptr), 0);
  auto* header = static_cast<DibHeader*>(block);
  EXPECT_EQ(flip_dib_rows(header), header);
  EXPECT_EQ(header->height, 5);
  flip_dib_rows(header);
  EXPECT_EQ(header->height, -5);
  mem_free(block);

  DibHeader extreme = {};
  extreme.height = INT32_MIN;  // has no positive twin: stays as it is, without overflow
  flip_dib_rows(&extreme);
  EXPECT_EQ(extreme.height, INT32_MIN);
  EXPECT_EQ(flip_dib_rows(nullptr), nullptr);
}

}  // namespace
