// Which deflate implementation packs and unpacks a member record: libdeflate for content that
// fits the memory budget (whole buffers, fastest), zlib in chunks beyond it (memory that does
// not grow with the member), zlib over whole buffers wherever libdeflate is not built in. All
// write and read the same masked zlib streams.
#pragma once

#include <cstdint>
#include <string>

enum class Codec {
  Zlib,        // zlib over whole buffers, the library's masked stream calls
  Libdeflate,  // libdeflate over whole buffers
  ZlibStream,  // zlib in fixed chunks, the library's streaming masked inflate and deflate
};

// Content bytes up to which a member is packed and unpacked as a whole buffer. Beyond it the
// member streams through zlib in chunks.
constexpr uint64_t CODEC_WHOLE_BUFFER_BUDGET = uint64_t(64) << 20;
// The budget in force: CODEC_WHOLE_BUFFER_BUDGET unless lowered (tests make small members
// stream this way).
extern uint64_t g_codecBudget;

// Whether this build carries libdeflate.
bool libdeflate_built_in();

// The codec for a member of contentBytes unpacked bytes.
Codec choose_codec(uint64_t contentBytes, uint64_t budget = g_codecBudget);
// Whether a member whose content or stored bytes reach past the budget streams.
inline bool streams(uint64_t bytes) { return bytes > g_codecBudget; }

// One line for pak --version: the codecs and where each serves.
std::string codec_summary();
