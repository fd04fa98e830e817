// The delta decoder's state machine (head, op records, added bytes, copies) and its use behind
// the streaming inflate.
#include "archive/delta_decode.h"

#include <cstring>

#include "archive/masked_inflate.h"
#include "host/host.h"

namespace {

bool fail(DeltaDecoder* d) {
  d->failed = true;
  return false;
}

bool take_head(DeltaDecoder* d) {
  const DeltaHead h = delta_head_decode(d->pending);
  if (h.magic != DELTA_MAGIC || h.version != DELTA_VERSION || h.reserved != 0 ||
      h.baseSize != d->baseSize || h.targetSize != d->targetSize)
    return fail(d);
  d->headRead = true;
  return true;
}

// Copies length bytes of the base from offset to the sink, a buffer at a time.
bool copy_range(DeltaDecoder* d, uint32_t offset, uint32_t length) {
  while (length > 0) {
    const int32_t piece = length > uint32_t(DELTA_COPY_CHUNK) ? DELTA_COPY_CHUNK : int32_t(length);
    if (!d->base.read_at(d->base.context, offset, d->copyBuffer, piece) ||
        !d->out.write(d->out.context, d->copyBuffer, piece))
      return fail(d);
    offset += uint32_t(piece);
    length -= uint32_t(piece);
  }
  return true;
}

bool take_op(DeltaDecoder* d) {
  const DeltaOp op = delta_op_decode(d->pending);
  if (op.reserved[0] != 0 || op.reserved[1] != 0 || op.reserved[2] != 0 || op.length == 0)
    return fail(d);
  if (int64_t(op.length) > int64_t(d->targetSize) - d->produced) return fail(d);
  if (op.kind == DELTA_OP_ADD) {
    if (op.step != 0) return fail(d);
    d->addLeft = op.length;
    d->produced += op.length;
    return true;
  }
  if (op.kind != DELTA_OP_COPY) return fail(d);
  const int64_t from = d->copyEnd + op.step;
  if (from < 0 || from + int64_t(op.length) > int64_t(d->baseSize)) return fail(d);
  d->copyEnd = from + op.length;
  d->produced += op.length;
  return copy_range(d, uint32_t(from), op.length);
}

}  // namespace

void delta_decoder_begin(DeltaDecoder* d, uint32_t baseSize, uint32_t targetSize,
                         const DeltaBase& base, const ByteSink& out, uint8_t* copyBuffer) {
  *d = DeltaDecoder{};
  d->base = base;
  d->out = out;
  d->copyBuffer = copyBuffer;
  d->baseSize = baseSize;
  d->targetSize = targetSize;
}

int delta_decoder_feed(DeltaDecoder* d, const void* data, int32_t count) {
  if (d->failed || count < 0 || (data == nullptr && count != 0)) return -1;
  auto* in = static_cast<const uint8_t*>(data);
  while (count > 0) {
    if (d->addLeft > 0) {
      const int32_t piece = uint32_t(count) < d->addLeft ? count : int32_t(d->addLeft);
      if (!d->out.write(d->out.context, in, piece)) {
        fail(d);
        return -1;
      }
      d->addLeft -= uint32_t(piece);
      in += piece;
      count -= piece;
      continue;
    }
    // Nothing may follow the last op's bytes.
    if (d->headRead && d->produced == int64_t(d->targetSize)) {
      fail(d);
      return -1;
    }
    const uint32_t want = d->headRead ? uint32_t(DELTA_OP_SIZE) : uint32_t(DELTA_HEAD_SIZE);
    const uint32_t piece = uint32_t(count) < want - d->pendingFill ? uint32_t(count) : want - d->pendingFill;
    memcpy(d->pending + d->pendingFill, in, piece);
    d->pendingFill += piece;
    in += piece;
    count -= int32_t(piece);
    if (d->pendingFill < want) break;
    d->pendingFill = 0;
    if (!(d->headRead ? take_op(d) : take_head(d))) return -1;
  }
  return 0;
}

int delta_decoder_end(const DeltaDecoder* d) {
  const bool whole = !d->failed && d->headRead && d->pendingFill == 0 && d->addLeft == 0 &&
                     d->produced == int64_t(d->targetSize);
  return whole ? 0 : -1;
}

namespace {

bool feed_decoder(void* context, const void* data, int32_t count) {
  return delta_decoder_feed(static_cast<DeltaDecoder*>(context), data, count) == 0;
}

}  // namespace

int delta_apply_packed(const ByteSource& source, uint32_t packedSize, uint32_t unpackedSize,
                       uint32_t baseSize, uint32_t targetSize, const DeltaBase& base,
                       const ByteSink& out) {
  auto* buffer = static_cast<uint8_t*>(mem_alloc(DELTA_COPY_CHUNK));
  if (buffer == nullptr) return -1;
  DeltaDecoder decoder;
  delta_decoder_begin(&decoder, baseSize, targetSize, base, out, buffer);
  const bool ok =
      masked_inflate_stream(source, packedSize, unpackedSize, ByteSink{feed_decoder, &decoder}) == 0 &&
      delta_decoder_end(&decoder) == 0;
  mem_free(buffer);
  return ok ? 0 : -1;
}
