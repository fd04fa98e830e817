// Masked zlib streams: one-shot deflate and inflate of whole buffers, with the stream's first
// byte XORed with STREAM_MASK so that the stored bytes are not a bare zlib stream.
#define ZLIB_CONST
#include "archive/masked_stream.h"

#include <zlib.h>

namespace {

// Standard zlib settings: a 32 KiB window (so the stream starts with the usual header for it)
// and the default memory level.
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;

}  // namespace

uint32_t masked_compress2(void* output, const void* input, uint32_t inputLength,
                          uint32_t outputRoom, int level) {
  if (output == nullptr || (input == nullptr && inputLength != 0)) return 0;
  const uint32_t room = outputRoom != 0 ? outputRoom : MASKED_UNBOUNDED_ROOM;

  z_stream stream{};
  stream.next_in = static_cast<const Bytef*>(input);
  stream.avail_in = inputLength;
  stream.next_out = static_cast<Bytef*>(output);
  stream.avail_out = room;
  if (deflateInit2(&stream, level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
    return 0;
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
    deflateEnd(&stream);
    return 0;
  }
  const uLong produced = stream.total_out;
  if (deflateEnd(&stream) != Z_OK || produced == 0) return 0;
  static_cast<uint8_t*>(output)[0] ^= STREAM_MASK;
  return uint32_t(produced);
}

uint32_t masked_compress(void* output, const void* input, uint32_t inputLength,
                         uint32_t outputRoom) {
  return masked_compress2(output, input, inputLength, outputRoom, Z_DEFAULT_COMPRESSION);
}

uint32_t masked_uncompress(void* output, void* input, uint32_t inputLength, uint32_t outputRoom,
                           uint32_t* consumed) {
  if (input == nullptr || inputLength == 0) return 0;
  uint8_t* const first = static_cast<uint8_t*>(input);
  *first ^= STREAM_MASK;  // the buffer now holds a plain zlib stream until restored below

  z_stream stream{};
  stream.next_in = first;
  stream.avail_in = inputLength;
  stream.next_out = static_cast<Bytef*>(output);
  stream.avail_out = outputRoom;
  if (inflateInit(&stream) != Z_OK) {
    *first ^= STREAM_MASK;
    return 0;
  }
  const int status = inflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  if (consumed != nullptr) *consumed = uint32_t(stream.total_in);
  const int ended = inflateEnd(&stream);
  *first ^= STREAM_MASK;
  if (status != Z_STREAM_END || ended != Z_OK) return 0;
  return uint32_t(produced);
}
