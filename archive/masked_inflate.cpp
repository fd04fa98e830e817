// Streaming masked inflate: zlib's inflate over a fixed input and output buffer, the mask
// undone on the stream's first byte, every size and the trailer checked before success.
#include "archive/masked_inflate.h"

#include <zlib.h>

#include "archive/masked_stream.h"
#include "archive/zlib_host_memory.h"
#include "host/host.h"

namespace {

// The chunks, no larger than the stream and its content need: a small member costs little,
// and the output room stays one byte over the content so an over-long stream shows at once.
struct Buffers {
  uint8_t* in = nullptr;
  uint8_t* out = nullptr;
  int32_t inSize;
  int32_t outSize;
  Buffers(uint32_t packedSize, uint32_t unpackedSize)
      : inSize(packedSize < uint32_t(MASKED_INFLATE_IN_CHUNK) ? int32_t(packedSize)
                                                               : MASKED_INFLATE_IN_CHUNK),
        outSize(unpackedSize < uint32_t(MASKED_INFLATE_OUT_CHUNK) ? int32_t(unpackedSize) + 1
                                                                   : MASKED_INFLATE_OUT_CHUNK) {
    in = static_cast<uint8_t*>(mem_alloc(size_t(inSize)));
    out = static_cast<uint8_t*>(mem_alloc(size_t(outSize)));
  }
  ~Buffers() {
    mem_free(out);
    mem_free(in);
  }
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;
  bool ok() const { return in != nullptr && out != nullptr; }
};

// Runs the inflate on an initialised stream; true when it ended exactly as announced.
bool pump(z_stream& z, const Buffers& b, const ByteSource& source, uint32_t packedSize,
          uint32_t unpackedSize, const ByteSink& sink) {
  uint32_t unread = packedSize;
  uint64_t produced = 0;
  bool first = true;
  for (;;) {
    if (z.avail_in == 0 && unread > 0) {
      const int32_t n = unread < uint32_t(b.inSize) ? int32_t(unread) : b.inSize;
      if (!source.read(source.context, b.in, n)) return false;
      if (first) b.in[0] ^= STREAM_MASK;
      first = false;
      unread -= uint32_t(n);
      z.next_in = b.in;
      z.avail_in = uInt(n);
    }
    z.next_out = b.out;
    z.avail_out = uInt(b.outSize);
    const int status = inflate(&z, Z_NO_FLUSH);
    const uint32_t have = uint32_t(b.outSize) - z.avail_out;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) return false;
    if (have != 0) {
      produced += have;
      if (produced > unpackedSize) return false;  // over-long: the excess is never written
      if (!sink.write(sink.context, b.out, int32_t(have))) return false;
    }
    if (status == Z_STREAM_END) break;
    // No progress possible: the stream wants bytes past its announced end.
    if (status == Z_BUF_ERROR && z.avail_in == 0 && unread == 0) return false;
  }
  // Ended exactly at the last announced byte, with the announced content.
  return z.avail_in == 0 && unread == 0 && produced == unpackedSize;
}

}  // namespace

int masked_inflate_stream(const ByteSource& source, uint32_t packedSize, uint32_t unpackedSize,
                          const ByteSink& sink) {
  if (packedSize == 0 || source.read == nullptr || sink.write == nullptr) return -1;
  Buffers buffers(packedSize, unpackedSize);
  if (!buffers.ok()) return -1;
  z_stream z{};
  zlib_use_host_memory(&z);
  if (inflateInit(&z) != Z_OK) return -1;
  const bool ok = pump(z, buffers, source, packedSize, unpackedSize, sink);
  inflateEnd(&z);
  return ok ? 0 : -1;
}
