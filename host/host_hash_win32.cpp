// SHA-256 on Windows: the system's cryptography provider (BCrypt). bcrypt.dll is not one of the
// libraries Windows always takes from the system folder, so it is no load-time import: it is
// loaded on first use from the system folder by its full path.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "host/host_hash.h"

namespace {

using OpenProvider = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG,
                                     PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);

struct Provider {
  bool tried = false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  CreateHash create = nullptr;
  HashData data = nullptr;
  FinishHash finish = nullptr;
  DestroyHash destroy = nullptr;
};

Provider g_provider;

template <typename Function>
Function function_of(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The provider's functions and its SHA-256 algorithm, looked up once per process.
const Provider* provider() {
  if (g_provider.tried) return g_provider.algorithm != nullptr ? &g_provider : nullptr;
  g_provider.tried = true;
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  constexpr char kName[] = "\\bcrypt.dll";
  if (length == 0 || length + sizeof kName > MAX_PATH) return nullptr;
  memcpy(path + length, kName, sizeof kName);
  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) return nullptr;
  const auto open = function_of<OpenProvider>(library, "BCryptOpenAlgorithmProvider");
  g_provider.create = function_of<CreateHash>(library, "BCryptCreateHash");
  g_provider.data = function_of<HashData>(library, "BCryptHashData");
  g_provider.finish = function_of<FinishHash>(library, "BCryptFinishHash");
  g_provider.destroy = function_of<DestroyHash>(library, "BCryptDestroyHash");
  if (open == nullptr || g_provider.create == nullptr || g_provider.data == nullptr ||
      g_provider.finish == nullptr || g_provider.destroy == nullptr)
    return nullptr;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return nullptr;
  g_provider.algorithm = algorithm;
  return &g_provider;
}

}  // namespace

struct HostSha256 {
  BCRYPT_HASH_HANDLE hash;
};

HostSha256* host_sha256_begin() {
  const Provider* p = provider();
  if (p == nullptr) return nullptr;
  auto* digest = static_cast<HostSha256*>(mem_alloc(sizeof(HostSha256)));
  if (digest == nullptr) return nullptr;
  if (p->create(p->algorithm, &digest->hash, nullptr, 0, nullptr, 0, 0) != 0) {
    mem_free(digest);
    return nullptr;
  }
  return digest;
}

int host_sha256_add(HostSha256* digest, const void* data, size_t length) {
  if (digest == nullptr || (data == nullptr && length != 0)) return -1;
  const Provider* p = provider();
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  // The call takes at most 4 GiB less one at a time.
  while (length > 0) {
    const ULONG piece = length > 0x40000000u ? 0x40000000u : ULONG(length);
    if (p->data(digest->hash, bytes, piece, 0) != 0) return -1;
    bytes += piece;
    length -= piece;
  }
  return 0;
}

int host_sha256_end(HostSha256* digest, uint8_t* out) {
  if (digest == nullptr) return -1;
  const Provider* p = provider();
  const bool ok = p->finish(digest->hash, out, ULONG(HOST_SHA256_SIZE), 0) == 0;
  p->destroy(digest->hash);
  mem_free(digest);
  return ok ? 0 : -1;
}
