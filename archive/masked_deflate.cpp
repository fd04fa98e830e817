// Streaming masked deflate: zlib's deflate with the standard settings over a fixed input and
// output buffer, finished once the announced input has all been read.
#include "archive/masked_deflate.h"

#include <zlib.h>

#include "archive/masked_inflate.h"
#include "archive/masked_stream.h"
#include "archive/zlib_host_memory.h"
#include "host/host.h"

namespace {

constexpr int kWindowBits = 15;
constexpr int kMemLevel = 8;

struct Buffers {
  uint8_t* in = static_cast<uint8_t*>(mem_alloc(MASKED_INFLATE_OUT_CHUNK));
  uint8_t* out = static_cast<uint8_t*>(mem_alloc(MASKED_INFLATE_IN_CHUNK));
  ~Buffers() {
    mem_free(out);
    mem_free(in);
  }
  bool ok() const { return in != nullptr && out != nullptr; }
};

int64_t pump(z_stream& z, const Buffers& b, const ByteSource& source, uint32_t inputBytes,
             const ByteSink& sink) {
  uint32_t unread = inputBytes;
  int64_t written = 0;
  for (;;) {
    if (z.avail_in == 0 && unread > 0) {
      const int32_t n = unread < uint32_t(MASKED_INFLATE_OUT_CHUNK) ? int32_t(unread)
                                                                     : MASKED_INFLATE_OUT_CHUNK;
      if (!source.read(source.context, b.in, n)) return -1;
      unread -= uint32_t(n);
      z.next_in = b.in;
      z.avail_in = uInt(n);
    }
    const int flush = unread == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_out = b.out;
    z.avail_out = uInt(MASKED_INFLATE_IN_CHUNK);
    const int status = deflate(&z, flush);
    if (status == Z_STREAM_ERROR) return -1;
    const int32_t have = MASKED_INFLATE_IN_CHUNK - int32_t(z.avail_out);
    if (have != 0) {
      if (written == 0) b.out[0] ^= STREAM_MASK;
      if (!sink.write(sink.context, b.out, have)) return -1;
      written += have;
    }
    if (status == Z_STREAM_END) return written;
  }
}

}  // namespace

int64_t masked_deflate_stream(const ByteSource& source, uint32_t inputBytes, int level,
                              const ByteSink& sink) {
  if (level < -1 || level > 9 || source.read == nullptr || sink.write == nullptr) return -1;
  Buffers buffers;
  if (!buffers.ok()) return -1;
  z_stream z{};
  zlib_use_host_memory(&z);
  if (deflateInit2(&z, level, Z_DEFLATED, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
    return -1;
  const int64_t written = pump(z, buffers, source, inputBytes, sink);
  deflateEnd(&z);
  return written;
}
