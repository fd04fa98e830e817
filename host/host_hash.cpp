// The digest of a whole disk file, read in fixed chunks through the host table and hashed on a
// second thread.
#include "host/host_hash.h"

#include "host/host_hash_pipe.h"

namespace {

constexpr int32_t kHashChunk = int32_t(HostSha256Pipe::SLOT_SIZE);

}  // namespace

void host_sha256_text(const uint8_t* digest, char* text) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < HOST_SHA256_SIZE; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 15];
  }
  text[HOST_SHA256_SIZE * 2] = '\0';
}

int host_sha256_file(const char* path, uint8_t* out, int32_t* size) {
  const int found = host_lookup(path, nullptr);
  if (found == HOST_ABSENT) return HOST_ABSENT;
  if (found != HOST_FOUND) return -1;
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  int64_t total = 0;
  bool ok = false;
  {
    // The next chunk is read while the one before is hashed.
    HostSha256Pipe pipe;
    ok = pipe.ok();
    for (int32_t n; ok && (n = host_read(file, pipe.slot(), kHashChunk)) > 0;) {
      ok = pipe.hand(size_t(n));
      total += n;
    }
    // A read that stopped short of the end is a failure, not the end of the file.
    ok = ok && total == host_size(file);
    ok = pipe.finish(out) == 0 && ok;
  }
  host_close(file);
  if (!ok) return -1;
  if (size != nullptr) *size = int32_t(total);
  return 0;
}
