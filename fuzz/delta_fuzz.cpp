// Fuzzing the delta decoder and the manifest. A delta input: a base, a target size, the size of
// the pieces the delta is fed in, and the delta; the decoder must never read outside the base or
// write past the target, and must accept and rebuild exactly what an independent whole-buffer
// reading of the format accepts and rebuilds. Its output, encoded again against the base, must
// decode back to itself. A manifest input: decoded, then encoded again to the same bytes.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/delta_decode.h"
#include "archive/delta_encode.h"
#include "archive/delta_manifest.h"
#include "fuzz_input.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Run {
  const Bytes* base;
  uint32_t targetSize;
  Bytes out;
};

bool read_base(void* context, uint32_t offset, void* buffer, int32_t count) {
  const Run& run = *static_cast<Run*>(context);
  if (count <= 0 || size_t(offset) + size_t(count) > run.base->size()) abort();
  memcpy(buffer, run.base->data() + offset, size_t(count));
  return true;
}

bool collect(void* context, const void* data, int32_t count) {
  auto& run = *static_cast<Run*>(context);
  if (count <= 0 || run.out.size() + size_t(count) > run.targetSize) abort();
  const auto* p = static_cast<const uint8_t*>(data);
  run.out.insert(run.out.end(), p, p + count);
  return true;
}

int decode(const Bytes& base, uint32_t targetSize, const Bytes& delta, size_t piece, Bytes* out) {
  static uint8_t buffer[DELTA_COPY_CHUNK];
  Run run{&base, targetSize, {}};
  DeltaDecoder d;
  delta_decoder_begin(&d, uint32_t(base.size()), targetSize, DeltaBase{read_base, &run},
                      ByteSink{collect, &run}, buffer);
  int result = 0;
  for (size_t at = 0; result == 0 && at < delta.size(); at += piece) {
    result = delta_decoder_feed(&d, delta.data() + at, int32_t(std::min(piece, delta.size() - at)));
  }
  if (result == 0) result = delta_decoder_end(&d);
  *out = std::move(run.out);
  return result;
}

// The format read from the whole buffer at once, the way its description says.
bool model(const Bytes& base, uint32_t targetSize, const Bytes& delta, Bytes* out) {
  if (delta.size() < DELTA_HEAD_SIZE) return false;
  const DeltaHead h = delta_head_decode(delta.data());
  if (h.magic != DELTA_MAGIC || h.version != DELTA_VERSION || h.reserved != 0 ||
      h.baseSize != base.size() || h.targetSize != targetSize)
    return false;
  size_t at = DELTA_HEAD_SIZE;
  int64_t copyEnd = 0;
  while (at < delta.size()) {
    if (out->size() == targetSize || delta.size() - at < DELTA_OP_SIZE) return false;
    const DeltaOp op = delta_op_decode(delta.data() + at);
    at += DELTA_OP_SIZE;
    if (op.reserved[0] | op.reserved[1] | op.reserved[2] || op.length == 0 ||
        op.length > targetSize - out->size())
      return false;
    if (op.kind == DELTA_OP_ADD) {
      if (op.step != 0 || delta.size() - at < op.length) return false;
      out->insert(out->end(), delta.begin() + ptrdiff_t(at), delta.begin() + ptrdiff_t(at + op.length));
      at += op.length;
    } else if (op.kind == DELTA_OP_COPY) {
      const int64_t from = copyEnd + op.step;
      if (from < 0 || from + op.length > int64_t(base.size())) return false;
      out->insert(out->end(), base.begin() + from, base.begin() + from + op.length);
      copyEnd = from + op.length;
    } else {
      return false;
    }
  }
  return out->size() == targetSize;
}

void fuzz_delta(FuzzInput& in) {
  const Bytes base = in.block();
  const uint32_t targetSize = in.le16();
  const size_t piece = size_t(in.byte()) + 1;
  const Bytes delta = in.rest();
  Bytes rebuilt;
  Bytes expected;
  const bool accepted = decode(base, targetSize, delta, piece, &rebuilt) == 0;
  if (accepted != model(base, targetSize, delta, &expected)) abort();
  if (!accepted) return;
  if (rebuilt != expected) abort();
  // The encoder's delta for the same pair rebuilds the same bytes.
  const Bytes again = delta_encode(base.data(), base.size(), rebuilt.data(), rebuilt.size());
  Bytes twice;
  if (decode(base, targetSize, again, 4096, &twice) != 0 || twice != rebuilt) abort();
}

void fuzz_manifest(FuzzInput& in) {
  const Bytes bytes = in.rest();
  DeltaManifest m{};
  if (delta_manifest_decode(bytes.data(), bytes.size(), &m) != 0) return;
  Bytes again(MANIFEST_MAX_SIZE);
  again.resize(delta_manifest_encode(m, again.data()));
  if (again != bytes) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  if (in.byte() % 2 == 0) {
    fuzz_delta(in);
  } else {
    fuzz_manifest(in);
  }
  return 0;
}
