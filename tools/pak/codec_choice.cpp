// The codec choice: the one place that decides between libdeflate and zlib for a member, by
// whether libdeflate is built in (PAK_HAVE_LIBDEFLATE) and by the member's size.
#include "tools/pak/codec_choice.h"

#include <zlib.h>

#if PAK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

uint64_t g_codecBudget = CODEC_WHOLE_BUFFER_BUDGET;

bool libdeflate_built_in() { return PAK_HAVE_LIBDEFLATE != 0; }

Codec choose_codec(uint64_t contentBytes, uint64_t budget) {
  if (contentBytes > budget) return Codec::ZlibStream;
  return libdeflate_built_in() ? Codec::Libdeflate : Codec::Zlib;
}

std::string codec_summary() {
  const std::string zlib = std::string("zlib ") + zlibVersion();
#if PAK_HAVE_LIBDEFLATE
  return "codec: libdeflate " LIBDEFLATE_VERSION_STRING " for members up to " +
         std::to_string(CODEC_WHOLE_BUFFER_BUDGET >> 20) + " MiB, " + zlib +
         " streaming beyond";
#else
  return "codec: " + zlib + " (libdeflate not built in), streaming beyond " +
         std::to_string(CODEC_WHOLE_BUFFER_BUDGET >> 20) + " MiB";
#endif
}
