// PAK archive records, one layout definition each, read and written little-endian.
//
//   archive start  +0   PakHeader (24 bytes)
//                  +24  member data, back to back
//                  +directoryOffset  directory: entryCount x PakEntry (64 bytes) plain, or one
//                                    masked zlib stream of packedDirectorySize bytes
//   appended form: [executable S bytes][archive, offsets relative to S][u32 locator = S]
//
//   PakHeader:  0 magic "PAKS" | 4 entryCount i32 | 8 directoryOffset i32 | 12 firstLetter u8
//               13 lastLetter u8 | 14 reserved u16 | 16 userValue u32 | 20 packedDirectorySize i32
//   PakEntry:   0 size i32 | 4 offset i32 (0 = deleted) | 8 tag u32 | 12 reserved[12]
//               24 name[40] (NUL-terminated, at most 39 bytes)
//   PakMemberRecord: 0 unpackedSize u32 | 4 packedSize u32 | 8 masked stream of packedSize bytes
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t PAK_MAGIC = 0x534B4150;  // "PAKS" read little-endian
constexpr size_t PAK_HEADER_SIZE = 24;
constexpr size_t PAK_ENTRY_SIZE = 64;
constexpr size_t PAK_NAME_SIZE = 40;  // name field, terminator included
constexpr size_t PAK_MEMBER_RECORD_HEADER_SIZE = 8;
constexpr size_t PAK_LOCATOR_SIZE = 4;
constexpr int32_t PAK_EMPTY_DIRECTORY_BYTES = 4096;  // room for 64 entries
constexpr int32_t PAK_EMPTY_DIRECTORY_ENTRIES = 64;

// Little-endian scalar access to byte buffers.
inline uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void store_le32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

struct PakHeader {
  uint32_t magic;
  int32_t entryCount;
  int32_t directoryOffset;
  uint8_t firstLetter;
  uint8_t lastLetter;
  uint16_t reserved;
  uint32_t userValue;
  int32_t packedDirectorySize;
};
static_assert(sizeof(PakHeader) == PAK_HEADER_SIZE, "PakHeader is 24 bytes");

using PakHeaderBytes = std::array<uint8_t, PAK_HEADER_SIZE>;

inline PakHeader pak_header_decode(const PakHeaderBytes& b) {
  PakHeader h{};
  h.magic = load_le32(&b[0]);
  h.entryCount = int32_t(load_le32(&b[4]));
  h.directoryOffset = int32_t(load_le32(&b[8]));
  h.firstLetter = b[12];
  h.lastLetter = b[13];
  h.reserved = uint16_t(b[14] | b[15] << 8);
  h.userValue = load_le32(&b[16]);
  h.packedDirectorySize = int32_t(load_le32(&b[20]));
  return h;
}

inline PakHeaderBytes pak_header_encode(const PakHeader& h) {
  PakHeaderBytes b{};
  store_le32(&b[0], h.magic);
  store_le32(&b[4], uint32_t(h.entryCount));
  store_le32(&b[8], uint32_t(h.directoryOffset));
  b[12] = h.firstLetter;
  b[13] = h.lastLetter;
  b[14] = 0;  // reserved: always written as 0
  b[15] = 0;
  store_le32(&b[16], h.userValue);
  store_le32(&b[20], uint32_t(h.packedDirectorySize));
  return b;
}

// The bytes a header's directory takes in the file at least: a plain directory's entries (4096
// zero bytes when empty), a compressed one's stream (of unstated length, at least one byte,
// when empty).
inline int64_t pak_directory_stored_bytes(const PakHeader& h) {
  const bool compressed = h.packedDirectorySize != 0;
  if (h.entryCount == 0) return compressed ? 1 : PAK_EMPTY_DIRECTORY_BYTES;
  if (compressed) return h.packedDirectorySize;
  return int64_t(h.entryCount) * int64_t(PAK_ENTRY_SIZE);
}

// A directory entry. In memory the directory is an array of these; on a little-endian host
// the array is byte-for-byte the on-disk form, and pak_entries_*_disk convert in place
// elsewhere.
struct PakEntry {
  int32_t size;
  int32_t offset;  // from the archive start; 0 marks a deleted entry
  uint32_t tag;
  uint8_t reserved[12];
  char name[PAK_NAME_SIZE];
};
static_assert(sizeof(PakEntry) == PAK_ENTRY_SIZE, "PakEntry is 64 bytes");
static_assert(offsetof(PakEntry, name) == 24, "name field at byte 24");

// Converts count entries that were just read from disk into host order, in place.
inline void pak_entries_from_disk(PakEntry* entries, size_t count) {
  if constexpr (std::endian::native == std::endian::big) {
    for (size_t i = 0; i < count; ++i) {
      auto* p = reinterpret_cast<uint8_t*>(&entries[i]);
      entries[i].size = int32_t(load_le32(p));
      entries[i].offset = int32_t(load_le32(p + 4));
      entries[i].tag = load_le32(p + 8);
    }
  } else {
    (void)entries;
    (void)count;
  }
}

// Writes count host-order entries into out (count * 64 bytes) in disk order.
inline void pak_entries_to_disk(uint8_t* out, const PakEntry* entries, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint8_t* p = out + i * PAK_ENTRY_SIZE;
    std::memcpy(p, &entries[i], PAK_ENTRY_SIZE);
    store_le32(p, uint32_t(entries[i].size));
    store_le32(p + 4, uint32_t(entries[i].offset));
    store_le32(p + 8, entries[i].tag);
  }
}

// The 8-byte head of a packed member record; the masked stream follows it.
struct PakMemberRecord {
  uint32_t unpackedSize;
  uint32_t packedSize;
};
static_assert(sizeof(PakMemberRecord) == PAK_MEMBER_RECORD_HEADER_SIZE,
              "PakMemberRecord head is 8 bytes");

inline PakMemberRecord pak_member_record_decode(const uint8_t* b) {
  return PakMemberRecord{load_le32(b), load_le32(b + 4)};
}
inline void pak_member_record_encode(uint8_t* b, const PakMemberRecord& r) {
  store_le32(b, r.unpackedSize);
  store_le32(b + 4, r.packedSize);
}

// The archive locator: the last four bytes of an executable that carries an archive.
inline uint32_t pak_locator_decode(const uint8_t* b) { return load_le32(b); }
inline void pak_locator_encode(uint8_t* b, uint32_t archiveStart) { store_le32(b, archiveStart); }

// Case-insensitive name comparison, by character in the member names' code page: ASCII letters
// 'A'..'Z' standing alone fold to lower case (never the trail byte of a double-byte
// character), everything else compares unsigned. Reads at most PAK_NAME_SIZE bytes of each side.
int pak_name_compare(const char* a, const char* b);

// True when a path is read as an executable carrying an appended archive: longer than four
// characters and ending in ".exe", ASCII case ignored.
bool pak_path_is_executable(const char* path);
