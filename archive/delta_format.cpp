// The delta and manifest records to and from their little-endian bytes.
#include "archive/delta_format.h"

#include <cstring>

#include "archive/pak_format.h"

namespace {

uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void store_le16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

}  // namespace

DeltaHead delta_head_decode(const uint8_t* b) {
  DeltaHead h{};
  h.magic = load_le32(b);
  h.version = load_le16(b + 4);
  h.reserved = load_le16(b + 6);
  h.baseSize = load_le32(b + 8);
  h.targetSize = load_le32(b + 12);
  return h;
}

DeltaHeadBytes delta_head_encode(const DeltaHead& h) {
  DeltaHeadBytes b{};
  store_le32(&b[0], h.magic);
  store_le16(&b[4], h.version);
  store_le16(&b[6], h.reserved);
  store_le32(&b[8], h.baseSize);
  store_le32(&b[12], h.targetSize);
  return b;
}

DeltaOp delta_op_decode(const uint8_t* b) {
  DeltaOp op{};
  op.kind = b[0];
  memcpy(op.reserved, b + 1, sizeof op.reserved);
  op.step = int32_t(load_le32(b + 4));
  op.length = load_le32(b + 8);
  return op;
}

DeltaOpBytes delta_op_encode(const DeltaOp& op) {
  DeltaOpBytes b{};
  b[0] = op.kind;
  memcpy(&b[1], op.reserved, sizeof op.reserved);
  store_le32(&b[4], uint32_t(op.step));
  store_le32(&b[8], op.length);
  return b;
}

ManifestHead manifest_head_decode(const uint8_t* b) {
  ManifestHead h{};
  h.magic = load_le32(b);
  h.version = load_le16(b + 4);
  h.count = load_le16(b + 6);
  return h;
}

ManifestHeadBytes manifest_head_encode(const ManifestHead& h) {
  ManifestHeadBytes b{};
  store_le32(&b[0], h.magic);
  store_le16(&b[4], h.version);
  store_le16(&b[6], h.count);
  return b;
}

ManifestRecord manifest_record_decode(const uint8_t* b) {
  ManifestRecord r{};
  r.file = b[0];
  r.base = b[1];
  r.reserved = load_le16(b + 2);
  r.targetSize = load_le32(b + 4);
  memcpy(r.targetSha256, b + 8, DELTA_SHA256_SIZE);
  r.baseSize = load_le32(b + 40);
  memcpy(r.baseSha256, b + 44, DELTA_SHA256_SIZE);
  r.deltaSize = load_le32(b + 76);
  return r;
}

ManifestRecordBytes manifest_record_encode(const ManifestRecord& r) {
  ManifestRecordBytes b{};
  b[0] = r.file;
  b[1] = r.base;
  store_le16(&b[2], r.reserved);
  store_le32(&b[4], r.targetSize);
  memcpy(&b[8], r.targetSha256, DELTA_SHA256_SIZE);
  store_le32(&b[40], r.baseSize);
  memcpy(&b[44], r.baseSha256, DELTA_SHA256_SIZE);
  store_le32(&b[76], r.deltaSize);
  return b;
}
