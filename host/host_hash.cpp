// The digest of a whole disk file, read in fixed chunks through the host table.
#include "host/host_hash.h"

namespace {

constexpr int32_t kHashChunk = 256 * 1024;

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
  auto* buffer = static_cast<uint8_t*>(mem_alloc(kHashChunk));
  HostSha256* digest = host_sha256_begin();
  bool ok = buffer != nullptr && digest != nullptr;
  int64_t total = 0;
  for (int32_t n; ok && (n = host_read(file, buffer, kHashChunk)) > 0;) {
    ok = host_sha256_add(digest, buffer, size_t(n)) == 0;
    total += n;
  }
  // A read that stopped short of the end is a failure, not the end of the file.
  ok = ok && total == host_size(file);
  if (digest != nullptr) ok = host_sha256_end(digest, out) == 0 && ok;
  mem_free(buffer);
  host_close(file);
  if (!ok) return -1;
  if (size != nullptr) *size = int32_t(total);
  return 0;
}
