// The hashed sink: bytes written in pieces of any size reach the next sink whole and in order,
// their digest is that of the bytes, and a next sink that fails stops it.
#include <gtest/gtest.h>

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

TEST(HashedSink, PassesEveryByteOnInOrderAndHashesThem) {
  reset_process_state();
  std::string text(HostSha256Pipe::SLOTS * HostSha256Pipe::SLOT_SIZE * 2 + 333, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char(i * 7 + (i >> 11));
  for (size_t piece : {size_t(1) << 20, HostSha256Pipe::SLOT_SIZE + 1, size_t(4093)}) {
    SCOPED_TRACE(piece);
    Collected c;
    HashedSink sink(ByteSink{collect, &c});
    ASSERT_TRUE(sink.ok());
    for (size_t at = 0; at < text.size(); at += piece) {
      ASSERT_TRUE(sink.write(text.data() + at, int32_t(std::min(piece, text.size() - at))));
    }
    ASSERT_TRUE(sink.drain());
    uint8_t digest[HOST_SHA256_SIZE];
    ASSERT_EQ(sink.finish(digest), 0);
    EXPECT_TRUE(c.bytes == text);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(digest), sizeof digest), digest_of(text));
  }
}

TEST(HashedSink, AFailedWriteStopsIt) {
  reset_process_state();
  const std::string chunk(HostSha256Pipe::SLOT_SIZE, 'q');
  Collected c;
  c.failAfter = HostSha256Pipe::SLOT_SIZE;
  HashedSink sink(ByteSink{collect, &c});
  ASSERT_TRUE(sink.write(chunk.data(), int32_t(chunk.size())));
  ASSERT_TRUE(sink.write(chunk.data(), int32_t(chunk.size())));  // the first buffer is written
  EXPECT_FALSE(sink.write("x", 1));                               // the second is refused
  EXPECT_FALSE(sink.write("x", 1));
  EXPECT_FALSE(sink.drain());
  uint8_t digest[HOST_SHA256_SIZE];
  sink.finish(digest);  // returns, whatever it says
  EXPECT_EQ(c.bytes.size(), HostSha256Pipe::SLOT_SIZE);
}

}  // namespace
