// SHA-256 from the platform: the standard's test vectors given whole and in pieces, through the
// second thread's pipe too, a disk file's digest and size (one longer than the pipe's buffers),
// and a missing file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_hash.h"
#include "host/host_hash_pipe.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

namespace {

std::string hex(const uint8_t* digest) {
  std::string out;
  for (size_t i = 0; i < HOST_SHA256_SIZE; ++i) {
    out += "0123456789abcdef"[digest[i] >> 4];
    out += "0123456789abcdef"[digest[i] & 15];
  }
  return out;
}

std::string digest_of(const std::string& text, size_t piece) {
  HostSha256* d = host_sha256_begin();
  if (d == nullptr) return "no digest";
  for (size_t at = 0; at < text.size(); at += piece) {
    if (host_sha256_add(d, text.data() + at, std::min(piece, text.size() - at)) != 0) return "add failed";
  }
  uint8_t out[HOST_SHA256_SIZE];
  if (host_sha256_end(d, out) != 0) return "end failed";
  return hex(out);
}

TEST(HostHash, GivesTheStandardDigests) {
  const struct {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t(1), size_t(63), size_t(1) << 20}) {
      if (piece == 1 && c.text.size() > 1000) continue;
      EXPECT_EQ(digest_of(c.text, piece), c.digest) << c.text.size() << " " << piece;
    }
  }
}

// The text handed to the pipe in pieces of piece bytes.
std::string piped_digest_of(const std::string& text, size_t piece) {
  HostSha256Pipe pipe;
  if (!pipe.ok()) return "no pipe";
  for (size_t at = 0; at < text.size(); at += piece) {
    const size_t n = std::min(piece, text.size() - at);
    uint8_t* slot = pipe.slot();
    if (slot == nullptr) return "no slot";
    memcpy(slot, text.data() + at, n);
    if (!pipe.hand(n)) return "hand failed";
  }
  uint8_t out[HOST_SHA256_SIZE];
  if (pipe.finish(out) != 0) return "finish failed";
  return hex(out);
}

TEST(HostHash, ThePipeGivesTheDigestOfWhatWasHandedInOrder) {
  // Longer than all the pipe's buffers together, so they are filled again while hashed.
  std::string text(HostSha256Pipe::SLOTS * HostSha256Pipe::SLOT_SIZE * 3 + 11, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char((i * 2654435761u) >> 13);
  const std::string whole = digest_of(text, text.size());
  for (size_t piece : {size_t(1000), HostSha256Pipe::SLOT_SIZE - 1, HostSha256Pipe::SLOT_SIZE}) {
    EXPECT_EQ(piped_digest_of(text, piece), whole) << piece;
  }
  EXPECT_EQ(piped_digest_of(std::string(1000000, 'a'), 4096),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(piped_digest_of("", 1), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  HostSha256Pipe pipe;
  EXPECT_FALSE(pipe.hand(HostSha256Pipe::SLOT_SIZE + 1));  // more than a buffer holds
}

bool tap_into(void* context, const uint8_t* data, size_t length) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

// Buffers handed over and the caller's own bytes lent, mixed: the digest and the tap see every
// byte once, in order; a lent piece may be larger than a buffer. Without the digest only the tap.
TEST(HostHash, ThePipeTakesLentBytesInTheirPlaceAmongTheHandedOnes) {
  std::string text(HostSha256Pipe::SLOTS * HostSha256Pipe::SLOT_SIZE * 3 + 11, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char((i * 2654435761u) >> 13);
  const size_t pieces[] = {1000, HostSha256Pipe::SLOT_SIZE * 2 + 3, 7, HostSha256Pipe::SLOT_SIZE};
  for (bool sha256 : {true, false}) {
    SCOPED_TRACE(sha256);
    HostSha256Pipe pipe(sha256);
    std::string tapped;
    pipe.tap(tap_into, &tapped);
    ASSERT_TRUE(pipe.ok());
    size_t k = 0;
    for (size_t at = 0; at < text.size(); ++k) {
      const size_t n = std::min(pieces[k % 4], text.size() - at);
      if (k % 2 == 1) {  // lent, and settled before the caller may change it
        ASSERT_TRUE(pipe.lend(reinterpret_cast<const uint8_t*>(text.data()) + at, n));
        ASSERT_TRUE(pipe.settle());
      } else {
        uint8_t* slot = pipe.slot();
        ASSERT_NE(slot, nullptr);
        memcpy(slot, text.data() + at, n);
        ASSERT_TRUE(pipe.hand(n));
      }
      at += n;
    }
    uint8_t out[HOST_SHA256_SIZE];
    ASSERT_EQ(pipe.finish(sha256 ? out : nullptr), 0);
    if (sha256) {
      EXPECT_EQ(hex(out), digest_of(text, text.size()));
    }
    EXPECT_TRUE(tapped == text);
  }
}

TEST(HostHash, DigestsAWholeFile) {
  reset_process_state();
  TempDir dir;
  const std::string path = dir.join("abc.bin");
  const HostHandle h = host_create(path.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  ASSERT_EQ(host_write(h, "abc", 3), 3);
  host_close(h);
  uint8_t digest[HOST_SHA256_SIZE];
  int32_t size = -1;
  ASSERT_EQ(host_sha256_file(path.c_str(), digest, &size), 0);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(host_sha256_file(dir.join("missing.bin").c_str(), digest, &size), HOST_ABSENT);

  std::string big(HostSha256Pipe::SLOTS * HostSha256Pipe::SLOT_SIZE * 2 + 5, 'v');
  const std::string bigPath = dir.join("big.bin");
  const HostHandle b = host_create(bigPath.c_str(), 0);
  ASSERT_NE(b, HOST_INVALID_HANDLE);
  ASSERT_EQ(host_write(b, big.data(), int32_t(big.size())), int32_t(big.size()));
  host_close(b);
  ASSERT_EQ(host_sha256_file(bigPath.c_str(), digest, &size), 0);
  EXPECT_EQ(size, int32_t(big.size()));
  EXPECT_EQ(hex(digest), digest_of(big, big.size()));
}

}  // namespace
