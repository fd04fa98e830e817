// The hashed sink: bytes written in pieces of any size reach the next sink whole and in order,
// their digest, size and CRC-32 are those of the bytes, and a next sink that fails stops it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "app/hashed_sink.h"
#include "support/reset_state.h"

namespace {

struct Collected {
  std::string bytes;
  size_t failAfter = SIZE_MAX;  // the next sink fails once it holds this many bytes
};

bool collect(void* context, const void* data, int32_t count) {
  auto* c = static_cast<Collected*>(context);
  if (c->bytes.size() >= c->failAfter) return false;
  c->bytes.append(static_cast<const char*>(data), size_t(count));
  return true;
}

std::string digest_of(const std::string& text) {
  HostSha256* d = host_sha256_begin();
  uint8_t out[HOST_SHA256_SIZE];
  if (d == nullptr || host_sha256_add(d, text.data(), text.size()) != 0 || host_sha256_end(d, out) != 0)
    return "failed";
  return std::string(reinterpret_cast<const char*>(out), sizeof out);
}

// Pieces of one size, or of sizes that switch between gathered and lent ones.
TEST(HashedSink, PassesEveryByteOnInOrderAndHashesThem) {
  reset_process_state();
  std::string text(HostSha256Pipe::SLOTS * HostSha256Pipe::SLOT_SIZE * 2 + 333, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char(i * 7 + (i >> 11));
  const ContentId whole{uint32_t(text.size()),
                        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                                       uInt(text.size())))};
  const std::vector<std::vector<size_t>> patterns = {
      {size_t(1) << 20}, {HostSha256Pipe::SLOT_SIZE + 1}, {4093}, {100, 70000, 5, 300000, 17}};
  for (const std::vector<size_t>& pieces : patterns) {
    for (bool sha256 : {true, false}) {
      SCOPED_TRACE(testing::Message() << pieces.size() << " sizes from " << pieces[0]
                                      << (sha256 ? ", hashed" : ", counted"));
      Collected c;
      HashedSink sink(ByteSink{collect, &c}, sha256);
      ASSERT_TRUE(sink.ok());
      size_t k = 0;
      for (size_t at = 0; at < text.size(); ++k) {
        const size_t n = std::min(pieces[k % pieces.size()], text.size() - at);
        ASSERT_TRUE(sink.write(text.data() + at, int32_t(n)));
        at += n;
      }
      ASSERT_TRUE(sink.drain());
      uint8_t digest[HOST_SHA256_SIZE];
      ASSERT_EQ(sink.finish(sha256 ? digest : nullptr), 0);
      EXPECT_TRUE(c.bytes == text);
      if (sha256) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(digest), sizeof digest),
                  digest_of(text));
      }
      EXPECT_EQ(sink.content(), whole);
    }
  }
}

// The next sink refuses once it holds one buffer's worth: small pieces are refused when their
// buffer is written, a large piece at once; nothing is written after the refusal.
TEST(HashedSink, AFailedWriteStopsIt) {
  reset_process_state();
  for (size_t piece : {size_t(4096), HostSha256Pipe::SLOT_SIZE}) {
    SCOPED_TRACE(piece);
    const std::string chunk(piece, 'q');
    Collected c;
    c.failAfter = HostSha256Pipe::SLOT_SIZE;
    HashedSink sink(ByteSink{collect, &c});
    bool refused = false;
    for (int i = 0; i < 1000 && !refused; ++i) refused = !sink.write(chunk.data(), int32_t(piece));
    EXPECT_TRUE(refused);
    EXPECT_FALSE(sink.write("x", 1));
    EXPECT_FALSE(sink.drain());
    uint8_t digest[HOST_SHA256_SIZE];
    sink.finish(digest);  // returns, whatever it says
    EXPECT_EQ(c.bytes.size(), HostSha256Pipe::SLOT_SIZE);
  }
}

}  // namespace
