// The two codecs side by side: records packed by either inflate by either to the same content,
// damaged streams are refused by both, the choice by size, and --version naming the codecs.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/masked_stream.h"
#include "pak_tool_fixture.h"
#include "support/pak_fixture.h"
#include "tools/pak/masked_codec.h"
#include "tools/pak/member_record.h"

namespace {

std::vector<Codec> built_codecs() {
  if (libdeflate_built_in()) return {Codec::Zlib, Codec::Libdeflate};
  return {Codec::Zlib};
}

const char* codec_name(Codec c) { return c == Codec::Zlib ? "zlib" : "libdeflate"; }

Bytes noise(size_t n) {
  Bytes out(n);
  uint32_t s = 12345;
  for (uint8_t& b : out) {
    s = s * 1664525u + 1013904223u;
    b = uint8_t(s >> 24);
  }
  return out;
}

Bytes text(size_t n) {
  std::string t;
  for (size_t i = 0; t.size() < n; ++i) t += "line " + std::to_string(i % 977) + " of the log\n";
  t.resize(n);
  return bytes_of(t);
}

struct Input {
  const char* name;
  Bytes content;
};

std::vector<Input> inputs() {
  return {{"empty", {}},
          {"one byte", {0x41}},
          {"incompressible", noise(100000)},
          {"highly compressible", Bytes(1 << 20, 0)},
          {"text", text(300000)}};
}

TEST(MaskedCodec, EachInflatesTheOthersStreams) {
  for (const Input& in : inputs()) {
    for (Codec packer : built_codecs()) {
      for (int level : {-1, 0, 1, 9}) {
        Bytes record;
        ASSERT_TRUE(pack_record(in.content.data(), in.content.size(), level, &record, packer));
        // A zlib stream once unmasked: deflate with a 32 KiB window.
        ASSERT_GT(record.size(), PAK_MEMBER_RECORD_HEADER_SIZE + 2);
        EXPECT_EQ(uint8_t(record[PAK_MEMBER_RECORD_HEADER_SIZE] ^ STREAM_MASK), 0x78);
        for (Codec unpacker : built_codecs()) {
          SCOPED_TRACE(std::string(in.name) + ": " + codec_name(packer) + " level " +
                       std::to_string(level) + " inflated by " + codec_name(unpacker));
          const Bytes before = record;
          Bytes back{1, 2, 3};
          ASSERT_TRUE(unpack_record(record, &back, unpacker));
          EXPECT_TRUE(back == in.content);
          EXPECT_EQ(record, before) << "the stored bytes are left as they were";
        }
      }
    }
  }
}

TEST(MaskedCodec, BothRefuseDamagedStreams) {
  const Bytes content = text(20000);
  struct Damage {
    const char* name;
    size_t at;      // stream byte to change (from the end when fromEnd)
    bool fromEnd;
    uint8_t bits;
    int64_t cut;    // stream bytes taken off its end
    int64_t more;   // content bytes asked for beyond the real size
    size_t after;   // bytes of another copy of the stream put after its end
  };
  // A stream that ends before its last byte is refused too, as the updater refuses it.
  const Damage damages[] = {{"first byte unmasked", 0, false, STREAM_MASK, 0, 0, 0},
                            {"header check bits", 1, false, 0x01, 0, 0, 0},
                            {"deflate data", 100, false, 0x08, 0, 0, 0},
                            {"check sum", 1, true, 0x01, 0, 0, 0},
                            {"cut by one", 0, false, 0, 1, 0, 0},
                            {"cut to its header", 0, false, 0, -2, 0, 0},
                            {"one byte more asked", 0, false, 0, 0, 1, 0},
                            {"one byte fewer asked", 0, false, 0, 0, -1, 0},
                            {"a byte after its end", 0, false, 0, 0, 0, 1},
                            {"a second stream after it", 0, false, 0, 0, 0, 64}};
  for (Codec packer : built_codecs()) {
    Bytes record;
    ASSERT_TRUE(pack_record(content.data(), content.size(), -1, &record, packer));
    const Bytes stream(record.begin() + PAK_MEMBER_RECORD_HEADER_SIZE, record.end());
    for (const Damage& d : damages) {
      Bytes bad = stream;
      const size_t at = d.fromEnd ? bad.size() - d.at : d.at;
      bad[at] ^= d.bits;
      if (d.cut > 0) bad.resize(bad.size() - size_t(d.cut));
      if (d.cut < 0) bad.resize(size_t(-d.cut));
      bad.insert(bad.end(), stream.begin(), stream.begin() + long(d.after));
      Bytes out(size_t(int64_t(content.size()) + d.more));
      for (Codec unpacker : built_codecs()) {
        SCOPED_TRACE(std::string(d.name) + ": " + codec_name(packer) + " inflated by " +
                     codec_name(unpacker));
        EXPECT_FALSE(masked_unpack(unpacker, out.data(), out.size(), bad.data(), bad.size()));
      }
    }
    // Empty content takes its own path: a byte after its stream is refused there too.
    Bytes empty;
    ASSERT_TRUE(pack_record(nullptr, 0, -1, &empty, packer));
    Bytes emptyStream(empty.begin() + PAK_MEMBER_RECORD_HEADER_SIZE, empty.end());
    emptyStream.push_back(0);
    for (Codec unpacker : built_codecs()) {
      SCOPED_TRACE(std::string("empty: ") + codec_name(packer) + " inflated by " +
                   codec_name(unpacker));
      uint8_t none = 0;
      EXPECT_FALSE(masked_unpack(unpacker, &none, 0, emptyStream.data(), emptyStream.size()));
      EXPECT_TRUE(masked_unpack(unpacker, &none, 0, emptyStream.data(), emptyStream.size() - 1));
    }
  }
}

// Packing into caller memory writes nothing past the room given, gives the same record as
// packing into a vector, and refuses room that cannot hold it.
TEST(MaskedCodec, PackingIntoMemoryWritesOnlyTheRecord) {
  for (const Input& in : inputs()) {
    for (Codec packer : built_codecs()) {
      SCOPED_TRACE(std::string(in.name) + ": " + codec_name(packer));
      Bytes expected;
      ASSERT_TRUE(pack_record(in.content.data(), in.content.size(), -1, &expected, packer));
      const size_t room = record_room(in.content.size(), packer);
      ASSERT_GE(room, expected.size());
      Bytes out(room + 16, 0xEE);
      const size_t length =
          pack_record_into(in.content.data(), in.content.size(), -1, packer, out.data(), room);
      ASSERT_EQ(length, expected.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
      EXPECT_TRUE(std::all_of(out.begin() + long(room), out.end(),
                              [](uint8_t b) { return b == 0xEE; }));
      for (size_t tight : {size_t(0), PAK_MEMBER_RECORD_HEADER_SIZE, expected.size() - 1}) {
        Bytes small(tight + 16, 0xEE);
        EXPECT_EQ(pack_record_into(in.content.data(), in.content.size(), -1, packer,
                                   small.data(), tight), 0u);
        EXPECT_TRUE(std::all_of(small.begin() + long(tight), small.end(),
                                [](uint8_t b) { return b == 0xEE; }));
      }
    }
  }
}

TEST(CodecChoice, LibdeflateWithinTheBudgetStreamingZlibBeyond) {
  const Codec within = libdeflate_built_in() ? Codec::Libdeflate : Codec::Zlib;
  EXPECT_EQ(choose_codec(0), within);
  EXPECT_EQ(choose_codec(CODEC_WHOLE_BUFFER_BUDGET), within);
  EXPECT_EQ(choose_codec(CODEC_WHOLE_BUFFER_BUDGET + 1), Codec::ZlibStream);

  // Content larger than a (small) budget streams through zlib; its records (made whole here)
  // are the format every codec reads back.
  const Bytes content = text(5000);
  const Codec chosen = choose_codec(content.size(), 4096);
  EXPECT_EQ(chosen, Codec::ZlibStream);
  Bytes record;
  ASSERT_TRUE(pack_record(content.data(), content.size(), -1, &record, chosen));
  for (Codec unpacker : built_codecs()) {
    Bytes back;
    ASSERT_TRUE(unpack_record(record, &back, unpacker)) << codec_name(unpacker);
    EXPECT_EQ(back, content);
  }
}

using VersionLine = PakToolTest;

TEST_F(VersionLine, NamesTheCodecs) {
  const ToolRun run = pak({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.rfind("pak ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("codec: " + std::string(libdeflate_built_in() ? "libdeflate" : "zlib")),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.err, "");
}

}  // namespace
