// Packed member records: recognition by the record head and the zlib header behind the mask,
// packing through masked_compress2, and unpacking that checks the exact unpacked size.
#include "tools/pak/member_record.h"

#include <zlib.h>

#include "archive/masked_stream.h"
#include "host/host.h"

namespace {

// The shortest zlib stream: two header bytes, an empty final block, the Adler-32 trailer.
constexpr uint32_t kShortestStream = 8;
// Deflate cannot expand data by more than about 1032:1; a record claiming more is damaged,
// and is refused before anything is allocated for it.
constexpr uint64_t kMaxInflateRatio = 1032;

bool zlib_header(uint8_t first, uint8_t second) {
  const unsigned cmf = first ^ STREAM_MASK;
  return (cmf & 0x0F) == Z_DEFLATED && (cmf >> 4) <= 7 && (second & 0x20) == 0 &&
         (cmf * 256 + second) % 31 == 0;
}

}  // namespace

bool record_recognised(const uint8_t* head, size_t available, int64_t storedSize,
                       PakMemberRecord* record) {
  if (available < PAK_RECORD_PROBE || storedSize < int64_t(PAK_RECORD_PROBE)) return false;
  const PakMemberRecord r = pak_member_record_decode(head);
  if (r.packedSize < kShortestStream ||
      int64_t(PAK_MEMBER_RECORD_HEADER_SIZE) + r.packedSize > storedSize)
    return false;
  if (!zlib_header(head[PAK_MEMBER_RECORD_HEADER_SIZE], head[PAK_MEMBER_RECORD_HEADER_SIZE + 1]))
    return false;
  *record = r;
  return true;
}

bool pack_record(const uint8_t* content, size_t size, int level, Bytes* record) {
  if (size > size_t(HOST_MAX_FILE_SIZE)) return false;
  const uint64_t room = compressBound(uLong(size));
  if (room > 0xFFFFFFFFu) return false;
  record->resize(PAK_MEMBER_RECORD_HEADER_SIZE + size_t(room));
  static const uint8_t kNothing = 0;
  const uint32_t packed =
      masked_compress2(record->data() + PAK_MEMBER_RECORD_HEADER_SIZE,
                       size != 0 ? content : &kNothing, uint32_t(size), uint32_t(room), level);
  if (packed == 0 || PAK_MEMBER_RECORD_HEADER_SIZE + uint64_t(packed) >
                         uint64_t(HOST_MAX_FILE_SIZE)) {
    record->clear();
    return false;
  }
  pak_member_record_encode(record->data(), PakMemberRecord{uint32_t(size), packed});
  record->resize(PAK_MEMBER_RECORD_HEADER_SIZE + packed);
  return true;
}

bool unpack_record(Bytes& stored, Bytes* content) {
  PakMemberRecord r{};
  if (!record_recognised(stored.data(), stored.size(), int64_t(stored.size()), &r)) return false;
  if (uint64_t(r.unpackedSize) > uint64_t(r.packedSize) * kMaxInflateRatio ||
      r.unpackedSize > uint32_t(HOST_MAX_FILE_SIZE))
    return false;
  uint8_t* stream = stored.data() + PAK_MEMBER_RECORD_HEADER_SIZE;
  if (r.unpackedSize == 0) {
    // The masked inflate reports empty content as 0, like a failure: check the stream itself.
    content->clear();
    Bytef none = 0;
    uLongf produced = 0;
    stream[0] ^= STREAM_MASK;
    const int status = uncompress(&none, &produced, stream, r.packedSize);
    stream[0] ^= STREAM_MASK;
    return status == Z_OK && produced == 0;
  }
  content->resize(r.unpackedSize);
  const uint32_t produced =
      masked_uncompress(content->data(), stream, r.packedSize, r.unpackedSize);
  if (produced != r.unpackedSize) {
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
