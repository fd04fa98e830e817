// Streaming masked inflate and deflate: content handed over in chunks and accepted only when
// the stream ends exactly at its announced sizes with a sound check value; the streaming
// deflate making the one-shot stream byte for byte; short reads, refused writes, no memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "archive/masked_deflate.h"
#include "archive/masked_inflate.h"
#include "archive/masked_stream.h"
#include "support/fault_injection.h"
#include "support/pak_fixture.h"

namespace {

// Bytes that compress somewhat: runs of a few words with a counter mixed in.
Bytes sample(size_t length) {
  Bytes out(length);
  uint32_t x = 7;
  for (size_t i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = (i / 64) % 3 == 0 ? uint8_t(x >> 24) : uint8_t("stream of words "[i % 16]);
  }
  return out;
}

Bytes masked(const Bytes& content, int level = -1) {
  Bytes out(content.size() + content.size() / 2 + 64);
  out.resize(masked_compress2(out.data(), content.data(), uint32_t(content.size()),
                              uint32_t(out.size()), level));
  return out;
}

struct MemorySource {
  const Bytes* bytes;
  size_t at = 0;
  size_t failAt = SIZE_MAX;  // a read reaching past this offset fails
};

bool read_memory(void* context, void* buffer, int32_t count) {
  auto* s = static_cast<MemorySource*>(context);
  if (s->at + size_t(count) > std::min(s->bytes->size(), s->failAt)) return false;
  std::copy_n(s->bytes->data() + s->at, count, static_cast<uint8_t*>(buffer));
  s->at += size_t(count);
  return true;
}

struct MemorySink {
  Bytes bytes;
  size_t refuseAfter = SIZE_MAX;  // a write taking the total past this is refused
  int32_t largest = 0;
};

bool write_memory(void* context, const void* data, int32_t count) {
  auto* s = static_cast<MemorySink*>(context);
  if (s->bytes.size() + size_t(count) > s->refuseAfter) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  s->bytes.insert(s->bytes.end(), p, p + count);
  s->largest = std::max(s->largest, count);
  return true;
}

int inflate_all(const Bytes& stream, uint32_t packed, uint32_t unpacked, MemorySink* sink,
                size_t failAt = SIZE_MAX) {
  MemorySource source{&stream, 0, failAt};
  return masked_inflate_stream(ByteSource{read_memory, &source}, packed, unpacked,
                               ByteSink{write_memory, sink});
}

TEST(MaskedInflateStream, GivesTheContentInBoundedChunks) {
  // Empty, tiny, and several output and input chunks long.
  for (const size_t size : {size_t(0), size_t(1), size_t(5000), size_t(3) << 20}) {
    SCOPED_TRACE(size);
    const Bytes content = sample(size);
    const Bytes stream = masked(content);
    MemorySink sink;
    ASSERT_EQ(inflate_all(stream, uint32_t(stream.size()), uint32_t(size), &sink), 0);
    EXPECT_EQ(sink.bytes, content);
    EXPECT_LE(sink.largest, MASKED_INFLATE_OUT_CHUNK);
  }
}

TEST(MaskedInflateStream, RefusesStreamsThatDoNotEndAsAnnounced) {
  const Bytes content = sample(300000);
  const Bytes good = masked(content);
  const uint32_t packed = uint32_t(good.size());
  const uint32_t unpacked = uint32_t(content.size());
  const auto changed = [&good](size_t at, uint8_t mask) {
    Bytes b = good;
    b[at] ^= mask;
    return b;
  };
  Bytes trailing = good;
  trailing.push_back(0);
  const struct {
    const char* what;
    Bytes stream;
    uint32_t packed;
    uint32_t unpacked;
  } cases[] = {
      {"truncated: the announced stream stops short of its end", good, packed - 5, unpacked},
      {"truncated to its first byte", good, 1, unpacked},
      {"over-long: bytes after the stream's end", trailing, packed + 1, unpacked},
      {"content longer than announced", good, packed, unpacked - 1},
      {"content shorter than announced", good, packed, unpacked + 1},
      {"bad check value", changed(good.size() - 1, 0x01), packed, unpacked},
      {"damaged deflate data", changed(good.size() / 2, 0x55), packed, unpacked},
      {"first byte left unmasked", changed(0, STREAM_MASK), packed, unpacked},
      {"no stream at all", good, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySink sink;
    EXPECT_EQ(inflate_all(c.stream, c.packed, c.unpacked, &sink), -1);
    EXPECT_LE(sink.bytes.size(), size_t(c.unpacked));  // never past the announced content
  }
}

TEST(MaskedInflateStream, ShortReadRefusedWriteAndNoMemoryFail) {
  const Bytes content = sample(3 << 20);
  const Bytes stream = masked(content);
  const auto packed = uint32_t(stream.size());
  const auto unpacked = uint32_t(content.size());
  {
    MemorySink sink;
    EXPECT_EQ(inflate_all(stream, packed, unpacked, &sink, stream.size() - 1), -1);
  }
  {
    MemorySink sink;
    sink.refuseAfter = content.size() - 1;
    EXPECT_EQ(inflate_all(stream, packed, unpacked, &sink), -1);
  }
  for (int nth = 1; nth <= 3; ++nth) {  // the two buffers, then zlib's own state
    SCOPED_TRACE(nth);
    HostFaults faults;
    faults.fail(HostOp::Alloc, nth);
    MemorySink sink;
    EXPECT_EQ(inflate_all(stream, packed, unpacked, &sink), -1);
  }
}

TEST(MaskedDeflateStream, MakesTheOneShotStreamByteForByteWhenCompressing) {
  for (const size_t size : {size_t(0), size_t(1), size_t(70000), size_t(5) << 20}) {
    for (const int level : {-1, 0, 1, 9}) {
      SCOPED_TRACE(std::to_string(size) + " bytes, level " + std::to_string(level));
      const Bytes content = sample(size);
      MemorySource source{&content};
      MemorySink sink;
      const int64_t length = masked_deflate_stream(ByteSource{read_memory, &source},
                                                   uint32_t(size), level,
                                                   ByteSink{write_memory, &sink});
      EXPECT_EQ(length, int64_t(sink.bytes.size()));
      // Stored blocks (level 0) follow the chunks; compressed ones do not.
      if (level != 0) {
        EXPECT_EQ(sink.bytes, masked(content, level));
      }
      MemorySink back;
      EXPECT_EQ(inflate_all(sink.bytes, uint32_t(sink.bytes.size()), uint32_t(size), &back), 0);
      EXPECT_EQ(back.bytes, content);
    }
  }
}

TEST(MaskedDeflateStream, ShortReadRefusedWriteAndBadLevelFail) {
  const Bytes content = sample(3 << 20);
  const auto deflate_with = [&content](size_t failAt, size_t refuseAfter, int level) {
    MemorySource source{&content, 0, failAt};
    MemorySink sink;
    sink.refuseAfter = refuseAfter;
    return masked_deflate_stream(ByteSource{read_memory, &source}, uint32_t(content.size()),
                                 level, ByteSink{write_memory, &sink});
  };
  EXPECT_EQ(deflate_with(content.size() - 1, SIZE_MAX, -1), -1);
  EXPECT_EQ(deflate_with(SIZE_MAX, 100, -1), -1);
  EXPECT_EQ(deflate_with(SIZE_MAX, SIZE_MAX, 10), -1);
  EXPECT_EQ(deflate_with(SIZE_MAX, SIZE_MAX, -2), -1);
}

}  // namespace
