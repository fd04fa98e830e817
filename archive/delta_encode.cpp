// Block index and rolling-hash match search of the delta encoder. The base is indexed at every
// block boundary; at each position of the target the hash of the next block is looked up, a hit
// is confirmed byte for byte and stretched both ways, and becomes one copy.
#include "archive/delta_encode.h"

#include <cstring>

#include "archive/delta_format.h"

namespace {

constexpr uint32_t kMultiplier = 0x01000193;  // the rolling hash's base (odd)
constexpr uint32_t kEmpty = 0xFFFFFFFFu;

// Blocks of 32 bytes for small bases, larger ones for large bases so that the index stays at
// most about four million blocks.
size_t block_size_for(size_t baseSize) {
  size_t block = 32;
  while (baseSize / block > (size_t(1) << 22)) block *= 2;
  return block;
}

uint32_t hash_block(const uint8_t* p, size_t n) {
  uint32_t h = 0;
  for (size_t i = 0; i < n; ++i) h = h * kMultiplier + p[i];
  return h;
}

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* out) : out_(out) {}
  void add(const uint8_t* bytes, size_t length) {
    if (length == 0) return;
    op(DELTA_OP_ADD, 0, uint32_t(length));
    out_->insert(out_->end(), bytes, bytes + length);
  }
  void copy(size_t from, size_t length) {
    op(DELTA_OP_COPY, int32_t(int64_t(from) - int64_t(copyEnd_)), uint32_t(length));
    copyEnd_ = from + length;
  }

 private:
  void op(uint8_t kind, int32_t step, uint32_t length) {
    const DeltaOpBytes bytes = delta_op_encode(DeltaOp{kind, {0, 0, 0}, step, length});
    out_->insert(out_->end(), bytes.begin(), bytes.end());
  }
  std::vector<uint8_t>* out_;
  size_t copyEnd_ = 0;
};

}  // namespace

std::vector<uint8_t> delta_encode(const uint8_t* base, size_t baseSize, const uint8_t* target,
                                  size_t targetSize) {
  std::vector<uint8_t> out;
  const DeltaHeadBytes head = delta_head_encode(
      DeltaHead{DELTA_MAGIC, DELTA_VERSION, 0, uint32_t(baseSize), uint32_t(targetSize)});
  out.assign(head.begin(), head.end());
  Writer writer(&out);

  const size_t block = block_size_for(baseSize);
  const size_t blocks = baseSize / block;
  if (blocks == 0 || targetSize < block) {
    writer.add(target, targetSize);
    return out;
  }
  // Open addressing, at least twice as many slots as blocks; the first block of a hash stays.
  int bits = 1;
  while ((size_t(1) << bits) < blocks * 2) ++bits;
  const size_t mask = (size_t(1) << bits) - 1;
  std::vector<uint32_t> slots(mask + 1, kEmpty);
  std::vector<uint32_t> slotHash(mask + 1, 0);
  for (size_t b = 0; b < blocks; ++b) {
    const uint32_t h = hash_block(base + b * block, block);
    for (size_t s = (h * 0x9E3779B1u) & mask;; s = (s + 1) & mask) {
      if (slots[s] == kEmpty) {
        slots[s] = uint32_t(b);
        slotHash[s] = h;
        break;
      }
      if (slotHash[s] == h) break;
    }
  }
  // kMultiplier to the power block - 1, to take the leaving byte out of the rolling hash.
  uint32_t outFactor = 1;
  for (size_t i = 1; i < block; ++i) outFactor *= kMultiplier;

  size_t literal = 0;  // start of the bytes not yet written
  size_t p = 0;
  uint32_t h = hash_block(target, block);
  size_t lastBaseEnd = 0;    // where the previous copy ended in the base
  size_t lastTargetEnd = 0;  // and in the target
  while (p + block <= targetSize) {
    size_t found = SIZE_MAX;
    // Where the previous copy would go on had the bytes between not changed: a file changed in
    // place goes on there, and copies that follow each other keep reads of the base together.
    const size_t onward = lastBaseEnd + (p - lastTargetEnd);
    if (lastTargetEnd != 0 && onward + block <= baseSize && memcmp(base + onward, target + p, block) == 0) {
      found = onward;
    }
    for (size_t s = (h * 0x9E3779B1u) & mask; found == SIZE_MAX && slots[s] != kEmpty; s = (s + 1) & mask) {
      if (slotHash[s] != h) continue;
      const size_t o = size_t(slots[s]) * block;
      if (memcmp(base + o, target + p, block) == 0) found = o;
      break;
    }
    if (found == SIZE_MAX) {
      if (p + block < targetSize) h = (h - target[p] * outFactor) * kMultiplier + target[p + block];
      ++p;
      continue;
    }
    size_t start = p;
    size_t from = found;
    while (start > literal && from > 0 && target[start - 1] == base[from - 1]) {
      --start;
      --from;
    }
    size_t end = p + block;
    size_t baseEnd = found + block;
    while (end < targetSize && baseEnd < baseSize && target[end] == base[baseEnd]) {
      ++end;
      ++baseEnd;
    }
    writer.add(target + literal, start - literal);
    writer.copy(from, end - start);
    lastBaseEnd = baseEnd;
    lastTargetEnd = end;
    literal = p = end;
    if (p + block <= targetSize) h = hash_block(target + p, block);
  }
  writer.add(target + literal, targetSize - literal);
  return out;
}
