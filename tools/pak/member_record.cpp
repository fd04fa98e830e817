// Packed member records: recognition by the record head and the zlib header behind the mask,
// packing and unpacking through the chosen codec, the unpacked size checked exactly.
#include "tools/pak/member_record.h"

#include <zlib.h>

#include "archive/masked_stream.h"
#include "host/host.h"
#include "tools/pak/masked_codec.h"

namespace {

// The shortest zlib stream: two header bytes, an empty final block, the Adler-32 trailer.
constexpr uint32_t kShortestStream = 8;

bool zlib_header(uint8_t first, uint8_t second) {
  const unsigned cmf = first ^ STREAM_MASK;
  return (cmf & 0x0F) == Z_DEFLATED && (cmf >> 4) <= 7 && (second & 0x20) == 0 &&
         (cmf * 256 + second) % 31 == 0;
}

}  // namespace

bool record_recognised(const uint8_t* head, size_t available, int64_t storedSize,
                       PakMemberRecord* record) {
  const size_t headBytes = PAK_MEMBER_RECORD_HEADER_SIZE;
  if (available < headBytes || storedSize < int64_t(headBytes)) return false;
  const PakMemberRecord r = pak_member_record_decode(head);
  const bool fills = int64_t(headBytes) + r.packedSize == storedSize;
  const bool soundHeader = available >= PAK_RECORD_PROBE &&
                           storedSize >= int64_t(PAK_RECORD_PROBE) &&
                           zlib_header(head[headBytes], head[headBytes + 1]);
  if (!fills && !soundHeader) return false;
  *record = r;
  return true;
}

size_t record_room(size_t size, Codec codec) {
  if (size > size_t(HOST_MAX_FILE_SIZE)) return 0;
  const uint64_t room = masked_bound(codec, size);
  if (room > 0xFFFFFFFFu) return 0;
  return PAK_MEMBER_RECORD_HEADER_SIZE + size_t(room);
}

size_t pack_record_into(const uint8_t* content, size_t size, int level, Codec codec,
                        uint8_t* out, size_t room) {
  if (room <= PAK_MEMBER_RECORD_HEADER_SIZE || size > size_t(HOST_MAX_FILE_SIZE)) return 0;
  const size_t packed = masked_pack(codec, out + PAK_MEMBER_RECORD_HEADER_SIZE,
                                    room - PAK_MEMBER_RECORD_HEADER_SIZE, content, size, level);
  if (packed == 0 || PAK_MEMBER_RECORD_HEADER_SIZE + uint64_t(packed) >
                         uint64_t(HOST_MAX_FILE_SIZE)) {
    return 0;
  }
  pak_member_record_encode(out, PakMemberRecord{uint32_t(size), uint32_t(packed)});
  return PAK_MEMBER_RECORD_HEADER_SIZE + packed;
}

bool pack_record(const uint8_t* content, size_t size, int level, Bytes* record, Codec codec) {
  const size_t room = record_room(size, codec);
  if (room == 0) return false;
  record->resize(room);
  const size_t length = pack_record_into(content, size, level, codec, record->data(), room);
  if (length == 0) {
    record->clear();
    return false;
  }
  record->resize(length);
  return true;
}

bool pack_record(const uint8_t* content, size_t size, int level, Bytes* record) {
  return pack_record(content, size, level, record, choose_codec(size));
}

bool record_plausible(const PakMemberRecord& r, const uint8_t* head, size_t available,
                      int64_t storedSize) {
  // A recognised record that fails any of these is damaged, never taken for stored bytes.
  const size_t at = PAK_MEMBER_RECORD_HEADER_SIZE;
  if (available < PAK_RECORD_PROBE || r.packedSize < kShortestStream ||
      int64_t(at) + int64_t(r.packedSize) > storedSize || !zlib_header(head[at], head[at + 1]))
    return false;
  return masked_ratio_possible(r.packedSize, r.unpackedSize) &&
         r.unpackedSize <= uint32_t(HOST_MAX_FILE_SIZE);
}

bool plausible_record_head(const Bytes& stored, PakMemberRecord* record) {
  const int64_t size = int64_t(stored.size());
  return record_recognised(stored.data(), stored.size(), size, record) &&
         record_plausible(*record, stored.data(), stored.size(), size);
}

bool unpack_record(Bytes& stored, Bytes* content, std::optional<Codec> codec) {
  PakMemberRecord r{};
  if (!plausible_record_head(stored, &r)) return false;
  const size_t at = PAK_MEMBER_RECORD_HEADER_SIZE;
  content->resize(r.unpackedSize);
  if (!masked_unpack(codec.value_or(choose_codec(r.unpackedSize)), content->data(),
                     content->size(), stored.data() + at, r.packedSize)) {
    content->clear();
    return false;
  }
  return true;
}

bool member_content(Bytes& stored, Bytes* content) {
  PakMemberRecord record{};
  if (!record_recognised(stored.data(), stored.size(), int64_t(stored.size()), &record)) {
    *content = std::move(stored);
    stored = Bytes();
    return true;
  }
  return unpack_record(stored, content);
}
