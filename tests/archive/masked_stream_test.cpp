// Masked zlib streams: round trips, room limits, damaged and truncated streams, the input left
// as it was after inflation, and interchange with a plain zlib inflater.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "archive/masked_stream.h"
#include "support/pak_fixture.h"

namespace {

Bytes sample_text(size_t length) {
  static const char kWords[] = "alpha beta gamma delta archive member directory ";
  Bytes out(length);
  for (size_t i = 0; i < length; ++i) out[i] = uint8_t(kWords[i % (sizeof kWords - 1)]);
  return out;
}

Bytes sample_noise(size_t length) {
  Bytes out(length);
  uint32_t x = 0x12345678;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x);
  }
  return out;
}

Bytes compress_all(const Bytes& input, int level = -1) {
  Bytes out(input.size() + input.size() / 2 + 64);
  const uint32_t n = masked_compress2(out.data(), input.data(), uint32_t(input.size()),
                                      uint32_t(out.size()), level);
  out.resize(n);
  return out;
}

TEST(MaskedStream, RoundTripsAtEveryLevel) {
  const struct {
    const char* what;
    Bytes content;
  } cases[] = {
      {"text", sample_text(10000)},
      {"noise", sample_noise(5000)},
      {"one byte", Bytes{0x42}},
      {"zeros", Bytes(70000, 0)},
  };
  for (const auto& c : cases) {
    for (int level = -1; level <= 9; ++level) {
      SCOPED_TRACE(std::string(c.what) + " level " + std::to_string(level));
      Bytes stream = compress_all(c.content, level);
      ASSERT_FALSE(stream.empty());
      Bytes out(c.content.size());
      EXPECT_EQ(masked_uncompress(out.data(), stream.data(), uint32_t(stream.size()),
                                  uint32_t(out.size())),
                c.content.size());
      EXPECT_EQ(out, c.content);
    }
  }
}

TEST(MaskedStream, FirstByteIsMaskedZlibHeader) {
  const Bytes content = sample_text(300);
  const Bytes stream = compress_all(content);
  ASSERT_GE(stream.size(), 2u);
  // Default level and a 32 KiB window give the standard header 78 9C.
  EXPECT_EQ(stream[0], uint8_t(0x78 ^ STREAM_MASK));
  EXPECT_EQ(stream[1], 0x9C);
}

TEST(MaskedStream, PlainZlibInflatesAfterUnmasking) {
  const Bytes content = sample_text(4096);
  Bytes stream = compress_all(content);
  stream[0] ^= STREAM_MASK;
  Bytes out(content.size());
  uLongf outLength = uLongf(out.size());
  ASSERT_EQ(uncompress(out.data(), &outLength, stream.data(), uLong(stream.size())), Z_OK);
  EXPECT_EQ(outLength, content.size());
  EXPECT_EQ(out, content);
}

TEST(MaskedStream, InflatesAPlainZlibStreamOnceMasked) {
  const Bytes content = sample_text(2048);
  Bytes stream(compressBound(uLong(content.size())));
  uLongf length = uLongf(stream.size());
  ASSERT_EQ(compress2(stream.data(), &length, content.data(), uLong(content.size()), 9), Z_OK);
  stream.resize(length);
  stream[0] ^= STREAM_MASK;
  Bytes out(content.size());
  EXPECT_EQ(masked_uncompress(out.data(), stream.data(), uint32_t(stream.size()),
                              uint32_t(out.size())),
            content.size());
  EXPECT_EQ(out, content);
}

TEST(MaskedStream, CompressRoomLimits) {
  const Bytes content = sample_noise(1000);
  const Bytes fits = compress_all(content);
  ASSERT_FALSE(fits.empty());
  const struct {
    const char* what;
    uint32_t room;
    bool succeeds;
  } cases[] = {
      {"exact room", uint32_t(fits.size()), true},
      {"one byte short", uint32_t(fits.size() - 1), false},
      {"a few bytes", 4, false},
      {"one byte", 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(fits.size() + 16, 0xEE);
    const uint32_t n = masked_compress(out.data(), content.data(), uint32_t(content.size()), c.room);
    if (c.succeeds) {
      EXPECT_EQ(n, fits.size());
      EXPECT_TRUE(std::equal(fits.begin(), fits.end(), out.begin()));
    } else {
      EXPECT_EQ(n, 0u);
    }
    // Nothing written past the room.
    for (size_t i = c.room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "byte " << i;
  }
}

TEST(MaskedStream, ZeroRoomMeansUnbounded) {
  const Bytes content = sample_text(5000);
  Bytes out(content.size() + 64);
  const uint32_t n = masked_compress(out.data(), content.data(), uint32_t(content.size()), 0);
  EXPECT_GT(n, 0u);
  EXPECT_LT(n, content.size());
}

TEST(MaskedStream, EmptyInputGivesShortCompleteStream) {
  uint8_t out[64];
  const uint32_t n = masked_compress(out, nullptr, 0, sizeof out);
  ASSERT_GT(n, 0u);
  EXPECT_LE(n, 16u);
  // Its content is empty, which inflation reports as 0 even though the stream is sound.
  uint8_t sink[8];
  EXPECT_EQ(masked_uncompress(sink, out, n, sizeof sink), 0u);
  // A plain inflater confirms it is a complete stream of nothing.
  out[0] ^= STREAM_MASK;
  uLongf sinkLength = sizeof sink;
  EXPECT_EQ(uncompress(sink, &sinkLength, out, n), Z_OK);
  EXPECT_EQ(sinkLength, 0u);
}

TEST(MaskedStream, BadLevelFails) {
  const Bytes content = sample_text(100);
  uint8_t out[256];
  EXPECT_EQ(masked_compress2(out, content.data(), uint32_t(content.size()), sizeof out, 10), 0u);
  EXPECT_EQ(masked_compress2(out, content.data(), uint32_t(content.size()), sizeof out, -2), 0u);
}

// Damaged and awkward inputs for inflation, infcover style: how the stream is changed, what
// happens. Every case also checks that the input is byte-for-byte unchanged afterwards.
TEST(MaskedStream, UncompressTable) {
  const Bytes content = sample_text(3000);
  const Bytes good = compress_all(content);
  ASSERT_GT(good.size(), 8u);
  Bytes unmasked = good;
  unmasked[0] ^= STREAM_MASK;

  const uint8_t kDictionaryStream[] = {0x78 ^ STREAM_MASK, 0xBB, 0x01, 0x02, 0x03, 0x04,
                                       0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  const struct {
    const char* what;
    Bytes input;
    uint32_t room;
    uint32_t expected;
  } cases[] = {
      {"sound stream", good, uint32_t(content.size()), uint32_t(content.size())},
      {"more room than needed", good, uint32_t(content.size() + 100), uint32_t(content.size())},
      {"room one byte short", good, uint32_t(content.size() - 1), 0},
      {"no room", good, 0, 0},
      {"one byte short of the stream", Bytes(good.begin(), good.end() - 1),
       uint32_t(content.size()), 0},
      {"only the header", Bytes(good.begin(), good.begin() + 2), uint32_t(content.size()), 0},
      {"only one byte", Bytes(good.begin(), good.begin() + 1), uint32_t(content.size()), 0},
      {"trailing bytes ignored", [&] { Bytes b = good; b.insert(b.end(), {1, 2, 3, 4}); return b; }(),
       uint32_t(content.size()), uint32_t(content.size())},
      {"mask not applied", unmasked, uint32_t(content.size()), 0},
      {"header check bits broken", [&] { Bytes b = good; b[1] ^= 0x01; return b; }(),
       uint32_t(content.size()), 0},
      {"checksum broken", [&] { Bytes b = good; b.back() ^= 0xFF; return b; }(),
       uint32_t(content.size()), 0},
      {"asks for a preset dictionary", Bytes(std::begin(kDictionaryStream), std::end(kDictionaryStream)),
       64, 0},
      {"not zlib at all", bytes_of("PAKS this is no stream"), 64, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes input = c.input;
    Bytes out(c.room + 16, 0xEE);
    EXPECT_EQ(masked_uncompress(out.data(), input.data(), uint32_t(input.size()), c.room),
              c.expected);
    EXPECT_EQ(input, c.input) << "input changed";
    for (size_t i = c.room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "byte " << i;
  }
}

TEST(MaskedStream, ZeroLengthInputTouchesNothing) {
  uint8_t input[1] = {0x33};
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(masked_uncompress(out, input, 0, sizeof out), 0u);
  EXPECT_EQ(input[0], 0x33);
  EXPECT_EQ(out[0], 9);
}

}  // namespace
