// SHA-256 on Linux: nettle's digest, its context on the host heap.
#include <nettle/sha2.h>

#include "host/host_hash.h"

struct HostSha256 {
  sha256_ctx context;
};

HostSha256* host_sha256_begin() {
  auto* digest = static_cast<HostSha256*>(mem_alloc(sizeof(HostSha256)));
  if (digest != nullptr) sha256_init(&digest->context);
  return digest;
}

int host_sha256_add(HostSha256* digest, const void* data, size_t length) {
  if (digest == nullptr || (data == nullptr && length != 0)) return -1;
  if (length != 0) sha256_update(&digest->context, length, static_cast<const uint8_t*>(data));
  return 0;
}

int host_sha256_end(HostSha256* digest, uint8_t* out) {
  if (digest == nullptr) return -1;
  sha256_digest(&digest->context, SHA256_DIGEST_SIZE, out);
  mem_free(digest);
  return 0;
}
