// The manifest's decoding with its consistency checks, its encoding, and delta member names.
#include "archive/delta_manifest.h"

#include <cstdio>
#include <cstring>

#include "host/host.h"

namespace {

bool all_zero(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

bool record_sound(const ManifestRecord& r) {
  if (r.file >= DELTA_FILE_COUNT || r.reserved != 0) return false;
  if (int64_t(r.targetSize) > HOST_MAX_FILE_SIZE || int64_t(r.baseSize) > HOST_MAX_FILE_SIZE)
    return false;
  if (r.base == DELTA_NO_BASE) {
    return r.baseSize == 0 && r.deltaSize == 0 && all_zero(r.baseSha256, DELTA_SHA256_SIZE);
  }
  return r.base < DELTA_MAX_BASES;
}

// Records of one file name one new content; no file and base twice.
bool records_agree(const ManifestRecord& a, const ManifestRecord& b) {
  if (a.file != b.file) return true;
  return a.base != b.base && a.targetSize == b.targetSize &&
         memcmp(a.targetSha256, b.targetSha256, DELTA_SHA256_SIZE) == 0;
}

}  // namespace

int delta_manifest_decode(const uint8_t* bytes, size_t length, DeltaManifest* out) {
  if (bytes == nullptr || length < MANIFEST_HEAD_SIZE) return -1;
  const ManifestHead head = manifest_head_decode(bytes);
  if (head.magic != MANIFEST_MAGIC || head.version != MANIFEST_VERSION || head.count == 0 ||
      head.count > MANIFEST_MAX_RECORDS ||
      length != MANIFEST_HEAD_SIZE + size_t(head.count) * MANIFEST_RECORD_SIZE)
    return -1;
  out->count = head.count;
  for (int i = 0; i < head.count; ++i) {
    out->records[i] = manifest_record_decode(bytes + MANIFEST_HEAD_SIZE + size_t(i) * MANIFEST_RECORD_SIZE);
    if (!record_sound(out->records[i])) return -1;
    for (int j = 0; j < i; ++j) {
      if (!records_agree(out->records[j], out->records[i])) return -1;
    }
  }
  return 0;
}

size_t delta_manifest_encode(const DeltaManifest& manifest, uint8_t* out) {
  const ManifestHeadBytes head =
      manifest_head_encode({MANIFEST_MAGIC, MANIFEST_VERSION, uint16_t(manifest.count)});
  memcpy(out, head.data(), head.size());
  size_t at = head.size();
  for (int i = 0; i < manifest.count && i < MANIFEST_MAX_RECORDS; ++i) {
    const ManifestRecordBytes record = manifest_record_encode(manifest.records[i]);
    memcpy(out + at, record.data(), record.size());
    at += record.size();
  }
  return at;
}

bool delta_member_name(const char* wholeName, uint8_t base, char* out, size_t room) {
  const int n = snprintf(out, room, "%s.d%u", wholeName, unsigned(base));
  return n > 0 && size_t(n) < room;
}
