// Delta and manifest records, one layout definition each, read and written little-endian.
//
// A delta rebuilds a target file from a base file: a head, then instructions, each an op record
// that copies a range of the base or adds the bytes that follow it. The payload carries it as a
// packed member (the whole delta one masked zlib stream), so added bytes travel packed.
//
//   DeltaHead:  0 magic "VDL1" | 4 version u16 = 1 | 6 reserved u16 = 0 | 8 baseSize u32
//               12 targetSize u32
//   DeltaOp:    0 kind u8 (1 copy, 2 add) | 1 reserved[3] = 0 | 4 step i32 | 8 length u32
//               copy: length bytes of the base from (end of the previous copy, 0 at first) + step
//               add:  step 0; length bytes follow the op
//   The ops give exactly targetSize bytes, and the delta ends with the last op's bytes.
//
// The manifest member names what each delta is for:
//
//   ManifestHead:   0 magic "VDM1" | 4 version u16 = 1 | 6 count u16 (records that follow)
//   ManifestRecord: 0 file u8 (0 executable, 1 update pack) | 1 base u8 (0 to 15, or 0xFF: the
//                   whole file is carried) | 2 reserved u16 = 0 | 4 targetSize u32
//                   8 targetSha256[32] | 40 baseSize u32 | 44 baseSha256[32] (zero without base)
//                   76 deltaSize u32 (the delta member's packed size; 0 without base)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t DELTA_MAGIC = 0x314C4456;     // "VDL1" read little-endian
constexpr uint32_t MANIFEST_MAGIC = 0x314D4456;  // "VDM1" read little-endian
constexpr uint16_t DELTA_VERSION = 1;
constexpr uint16_t MANIFEST_VERSION = 1;
constexpr size_t DELTA_HEAD_SIZE = 16;
constexpr size_t DELTA_OP_SIZE = 12;
constexpr size_t MANIFEST_HEAD_SIZE = 8;
constexpr size_t MANIFEST_RECORD_SIZE = 80;
constexpr size_t DELTA_SHA256_SIZE = 32;

constexpr uint8_t DELTA_OP_COPY = 1;
constexpr uint8_t DELTA_OP_ADD = 2;

// Files a manifest speaks of, and its limits.
constexpr uint8_t DELTA_FILE_EXE = 0;
constexpr uint8_t DELTA_FILE_PACK = 1;
constexpr int DELTA_FILE_COUNT = 2;
constexpr int DELTA_MAX_BASES = 16;
constexpr uint8_t DELTA_NO_BASE = 0xFF;
constexpr int MANIFEST_MAX_RECORDS = DELTA_FILE_COUNT * (DELTA_MAX_BASES + 1);
constexpr size_t MANIFEST_MAX_SIZE = MANIFEST_HEAD_SIZE + MANIFEST_MAX_RECORDS * MANIFEST_RECORD_SIZE;

struct DeltaHead {
  uint32_t magic;
  uint16_t version;
  uint16_t reserved;
  uint32_t baseSize;
  uint32_t targetSize;
};
static_assert(sizeof(DeltaHead) == DELTA_HEAD_SIZE, "DeltaHead is 16 bytes");

struct DeltaOp {
  uint8_t kind;
  uint8_t reserved[3];
  int32_t step;
  uint32_t length;
};
static_assert(sizeof(DeltaOp) == DELTA_OP_SIZE, "DeltaOp is 12 bytes");

struct ManifestHead {
  uint32_t magic;
  uint16_t version;
  uint16_t count;
};
static_assert(sizeof(ManifestHead) == MANIFEST_HEAD_SIZE, "ManifestHead is 8 bytes");

struct ManifestRecord {
  uint8_t file;
  uint8_t base;
  uint16_t reserved;
  uint32_t targetSize;
  uint8_t targetSha256[DELTA_SHA256_SIZE];
  uint32_t baseSize;
  uint8_t baseSha256[DELTA_SHA256_SIZE];
  uint32_t deltaSize;
};
static_assert(sizeof(ManifestRecord) == MANIFEST_RECORD_SIZE, "ManifestRecord is 80 bytes");

using DeltaHeadBytes = std::array<uint8_t, DELTA_HEAD_SIZE>;
using DeltaOpBytes = std::array<uint8_t, DELTA_OP_SIZE>;
using ManifestHeadBytes = std::array<uint8_t, MANIFEST_HEAD_SIZE>;
using ManifestRecordBytes = std::array<uint8_t, MANIFEST_RECORD_SIZE>;

DeltaHead delta_head_decode(const uint8_t* b);
DeltaHeadBytes delta_head_encode(const DeltaHead& h);
DeltaOp delta_op_decode(const uint8_t* b);
DeltaOpBytes delta_op_encode(const DeltaOp& op);
ManifestHead manifest_head_decode(const uint8_t* b);
ManifestHeadBytes manifest_head_encode(const ManifestHead& h);
ManifestRecord manifest_record_decode(const uint8_t* b);
ManifestRecordBytes manifest_record_encode(const ManifestRecord& r);
