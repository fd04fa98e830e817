// The CRC-32 of zlib (the one of gzip and PNG), for telling one file's content from another's.
#pragma once

#include <cstddef>
#include <cstdint>

// crc continued over length bytes at data; start with 0.
uint32_t pak_crc32(uint32_t crc, const void* data, size_t length);
