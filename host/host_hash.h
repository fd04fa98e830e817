// SHA-256 from the platform (the system's cryptography provider on Windows, nettle on Linux):
// a running digest over bytes given in any pieces, and the digest of a whole disk file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host.h"

constexpr size_t HOST_SHA256_SIZE = 32;

struct HostSha256;  // a running digest, owned by its caller until host_sha256_end

// A new running digest, or nullptr when the platform cannot give one.
HostSha256* host_sha256_begin();
// Adds bytes to the digest: 0 or -1 (the digest is then unusable; end it all the same).
int host_sha256_add(HostSha256* digest, const void* data, size_t length);
// Writes the digest's 32 bytes to out and frees it: 0 or -1 (out undefined). Frees on either.
int host_sha256_end(HostSha256* digest, uint8_t* out);

// A digest as 64 lowercase hexadecimal digits and a terminator, into text.
constexpr size_t HOST_SHA256_TEXT_ROOM = HOST_SHA256_SIZE * 2 + 1;
void host_sha256_text(const uint8_t* digest, char* text);

// The SHA-256 of a whole disk file read from its start, and its size: 0, or -1 when it cannot
// be read (HOST_ABSENT when there is no such file).
int host_sha256_file(const char* path, uint8_t* out, int32_t* size);
