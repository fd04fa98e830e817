// Which deflate implementation packs and unpacks a member record: libdeflate for content that
// fits the memory budget (whole buffers, fastest), zlib beyond it and wherever libdeflate is
// not built in. Both write and read the same masked zlib streams.
#pragma once

#include <cstdint>
#include <string>

enum class Codec {
  Zlib,        // zlib over whole buffers, the library's masked stream calls
  Libdeflate,  // libdeflate over whole buffers
};

// Content bytes up to which a member is packed and unpacked in one libdeflate call. Beyond it
// zlib serves (a bounded-memory streaming path would take its place there).
constexpr uint64_t CODEC_WHOLE_BUFFER_BUDGET = uint64_t(64) << 20;

// Whether this build carries libdeflate.
bool libdeflate_built_in();

// The codec for a member of contentBytes unpacked bytes.
Codec choose_codec(uint64_t contentBytes, uint64_t budget = CODEC_WHOLE_BUFFER_BUDGET);

// One line for pak --version: the codecs and where each serves.
std::string codec_summary();
