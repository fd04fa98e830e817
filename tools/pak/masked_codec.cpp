// Masked streams by codec: zlib through the library's masked_compress2 / masked_uncompress,
// libdeflate through one compressor per level and thread and one decompressor per thread.
#include "tools/pak/masked_codec.h"

#include <zlib.h>

#include <array>
#include <memory>

#include "archive/masked_stream.h"

#if PAK_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

constexpr int kDefaultLevel = 6;  // zlib's default level, on both codecs' scales

// Empty content inflates to 0 bytes, which the library's masked inflate reports as a failure:
// such a stream is checked by zlib's own one-shot call.
bool zlib_unpack_empty(uint8_t* stream, size_t streamBytes) {
  Bytef none = 0;
  uLongf produced = 0;
  uLong consumed = uLong(streamBytes);
  stream[0] ^= STREAM_MASK;
  const int status = uncompress2(&none, &produced, stream, &consumed);
  stream[0] ^= STREAM_MASK;
  return status == Z_OK && produced == 0 && consumed == streamBytes;
}

#if PAK_HAVE_LIBDEFLATE
struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_compressor* compressor(int level) {
  thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorFree>, 10> byLevel;
  auto& slot = byLevel[size_t(level)];
  if (!slot) slot.reset(libdeflate_alloc_compressor(level));
  return slot.get();
}

libdeflate_decompressor* decompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> one;
  if (!one) one.reset(libdeflate_alloc_decompressor());
  return one.get();
}
#endif

}  // namespace

size_t masked_bound(Codec codec, size_t inputBytes) {
#if PAK_HAVE_LIBDEFLATE
  if (codec == Codec::Libdeflate) return libdeflate_zlib_compress_bound(nullptr, inputBytes);
#endif
  (void)codec;
  return size_t(compressBound(uLong(inputBytes)));
}

size_t masked_pack(Codec codec, uint8_t* output, size_t room, const uint8_t* input,
                   size_t inputBytes, int level) {
  static const uint8_t kNothing = 0;
  if (inputBytes == 0) input = &kNothing;
  if (level < -1 || level > 9 || room == 0) return 0;
  if (codec != Codec::Libdeflate) {  // the streaming codec's format, made whole here
    if (inputBytes > 0xFFFFFFFFu || room > 0xFFFFFFFFu) return 0;
    return masked_compress2(output, input, uint32_t(inputBytes), uint32_t(room), level);
  }
#if PAK_HAVE_LIBDEFLATE
  libdeflate_compressor* c = compressor(level < 0 ? kDefaultLevel : level);
  if (c == nullptr) return 0;
  const size_t length = libdeflate_zlib_compress(c, input, inputBytes, output, room);
  if (length != 0) output[0] ^= STREAM_MASK;
  return length;
#else
  return 0;
#endif
}

bool masked_unpack(Codec codec, uint8_t* output, size_t outputBytes, uint8_t* stream,
                   size_t streamBytes) {
  if (stream == nullptr || streamBytes == 0) return false;
  if (codec != Codec::Libdeflate) {
    if (outputBytes > 0xFFFFFFFFu || streamBytes > 0xFFFFFFFFu) return false;
    if (outputBytes == 0) return zlib_unpack_empty(stream, streamBytes);
    uint32_t consumed = 0;
    return masked_uncompress(output, stream, uint32_t(streamBytes), uint32_t(outputBytes),
                             &consumed) == outputBytes &&
           consumed == streamBytes;
  }
#if PAK_HAVE_LIBDEFLATE
  libdeflate_decompressor* d = decompressor();
  if (d == nullptr) return false;
  uint8_t nowhere = 0;
  stream[0] ^= STREAM_MASK;
  // Without a count of bytes produced, anything but exactly outputBytes is a failure.
  size_t consumed = 0;
  const libdeflate_result result = libdeflate_zlib_decompress_ex(
      d, stream, streamBytes, outputBytes != 0 ? output : &nowhere, outputBytes, &consumed,
      nullptr);
  stream[0] ^= STREAM_MASK;
  return result == LIBDEFLATE_SUCCESS && consumed == streamBytes;
#else
  return false;
#endif
}
