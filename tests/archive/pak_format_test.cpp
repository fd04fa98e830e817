// PAK records: header, directory entries, packed member record and locator encoded and decoded
// byte for byte; the member name order and the executable path rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "host/path.h"
#include "support/guarded_bytes.h"
#include "support/pak_fixture.h"

namespace {

TEST(PakRecords, HeaderBytesAndRoundTrip) {
  PakHeader h{};
  h.magic = PAK_MAGIC;
  h.entryCount = 2;
  h.directoryOffset = 0x001EF67A;
  h.firstLetter = '#';
  h.lastLetter = '$';
  h.reserved = 0xBEEF;  // never written
  h.userValue = 0xA1B2C3D4;
  h.packedDirectorySize = 65;
  const PakHeaderBytes b = pak_header_encode(h);
  const PakHeaderBytes expected = {'P', 'A', 'K', 'S', 2,    0,    0,    0,
                                   0x7A, 0xF6, 0x1E, 0x00, '#', '$', 0,    0,
                                   0xD4, 0xC3, 0xB2, 0xA1, 65,  0,    0,    0};
  EXPECT_EQ(b, expected);

  const PakHeader d = pak_header_decode(b);
  EXPECT_EQ(d.magic, PAK_MAGIC);
  EXPECT_EQ(d.entryCount, 2);
  EXPECT_EQ(d.directoryOffset, 0x001EF67A);
  EXPECT_EQ(d.firstLetter, '#');
  EXPECT_EQ(d.lastLetter, '$');
  EXPECT_EQ(d.reserved, 0);
  EXPECT_EQ(d.userValue, 0xA1B2C3D4u);
  EXPECT_EQ(d.packedDirectorySize, 65);
}

TEST(PakRecords, HeaderSignedFieldsDecodeNegative) {
  PakHeaderBytes b{};
  std::memcpy(b.data(), "PAKS", 4);
  for (size_t i = 4; i < 12; ++i) b[i] = 0xFF;
  b[20] = 0x00, b[21] = 0x00, b[22] = 0x00, b[23] = 0x80;
  const PakHeader h = pak_header_decode(b);
  EXPECT_EQ(h.entryCount, -1);
  EXPECT_EQ(h.directoryOffset, -1);
  EXPECT_EQ(h.packedDirectorySize, INT32_MIN);
}

// Three entries: a stride error in either direction shows up in the second or third.
TEST(PakRecords, EntriesRoundTripWithStride) {
  PakEntry in[3]{};
  const char* names[] = {"#:\\Velmor.EXE", "Update01.txt", "\xA7\xF3\xB7s.dat"};
  for (int i = 0; i < 3; ++i) {
    in[i].size = 1000 * (i + 1);
    in[i].offset = i == 1 ? 0 : 24 + 7 * i;
    in[i].tag = 0x01020304u * uint32_t(i + 1);
    in[i].reserved[0] = uint8_t(0x10 + i);
    in[i].reserved[11] = uint8_t(0x20 + i);
    std::strncpy(in[i].name, names[i], PAK_NAME_SIZE - 1);
  }
  uint8_t disk[3 * PAK_ENTRY_SIZE];
  pak_entries_to_disk(disk, in, 3);

  // Entry 2 at byte 128: size 3000 = B8 0B, offset 38, tag 0306090C, name at +24.
  const uint8_t* e2 = disk + 2 * PAK_ENTRY_SIZE;
  EXPECT_EQ(load_le32(e2), 3000u);
  EXPECT_EQ(load_le32(e2 + 4), 38u);
  EXPECT_EQ(load_le32(e2 + 8), 0x0306090Cu);
  EXPECT_EQ(e2[12], 0x12);
  EXPECT_EQ(e2[23], 0x22);
  EXPECT_STREQ(reinterpret_cast<const char*>(e2 + 24), names[2]);
  EXPECT_EQ(load_le32(disk + PAK_ENTRY_SIZE + 4), 0u);  // the deleted one

  PakEntry out[3];
  std::memcpy(out, disk, sizeof disk);
  pak_entries_from_disk(out, 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[i].size, in[i].size);
    EXPECT_EQ(out[i].offset, in[i].offset);
    EXPECT_EQ(out[i].tag, in[i].tag);
    EXPECT_EQ(0, std::memcmp(out[i].reserved, in[i].reserved, sizeof in[i].reserved));
    EXPECT_STREQ(out[i].name, names[i]);
  }
}

TEST(PakRecords, MemberRecordsBackToBack) {
  const Bytes first = bytes_of("first member content, first member content");
  const Bytes second(5000, 0x41);
  Bytes file = pak_fixture_member_record(first);
  const size_t secondAt = file.size();
  const Bytes rec2 = pak_fixture_member_record(second);
  file.insert(file.end(), rec2.begin(), rec2.end());

  const struct {
    size_t at;
    const Bytes* content;
  } records[] = {{0, &first}, {secondAt, &second}};
  for (const auto& r : records) {
    SCOPED_TRACE(r.at);
    const PakMemberRecord head = pak_member_record_decode(file.data() + r.at);
    EXPECT_EQ(head.unpackedSize, r.content->size());
    ASSERT_LE(r.at + PAK_MEMBER_RECORD_HEADER_SIZE + head.packedSize, file.size());
    Bytes out(head.unpackedSize);
    EXPECT_EQ(masked_uncompress(out.data(), file.data() + r.at + PAK_MEMBER_RECORD_HEADER_SIZE,
                                head.packedSize, head.unpackedSize),
              head.unpackedSize);
    EXPECT_EQ(out, *r.content);
  }
  EXPECT_EQ(secondAt, PAK_MEMBER_RECORD_HEADER_SIZE +
                          pak_member_record_decode(file.data()).packedSize);

  uint8_t b[8];
  pak_member_record_encode(b, PakMemberRecord{0x11223344, 5});
  const uint8_t expected[8] = {0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(b, expected, 8));
}

TEST(PakRecords, LocatorRoundTrip) {
  const struct {
    uint32_t start;
    uint8_t bytes[4];
  } cases[] = {{0, {0, 0, 0, 0}}, {139264, {0x00, 0x20, 0x02, 0x00}}, {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}};
  for (const auto& c : cases) {
    uint8_t b[4];
    pak_locator_encode(b, c.start);
    EXPECT_EQ(0, std::memcmp(b, c.bytes, 4)) << c.start;
    EXPECT_EQ(pak_locator_decode(c.bytes), c.start);
  }
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(PakNames, CompareTable) {
  const bool big5 = path_is_lead_byte(path_names_code_page(), 0xA7);
  const std::string forty(40, 'a');
  const std::string fortyThenMore = forty + "z";
  const struct {
    std::string a, b;
    int expected;
    const char* what;
  } cases[] = {
      {"update.pak", "UPDATE.PAK", 0, "ASCII case folds"},
      {"a", "b", -1, "plain order"},
      {"", "a", -1, "empty sorts first"},
      {"abc", "ab", 1, "longer after its prefix"},
      {"_", "a", -1, "underscore (0x5F) below folded letters"},
      {"_", "A", -1, "capital folds before comparing"},
      {"\xA7" "a", "\xA7" "A", big5 ? 1 : 0, "a Big5 trail byte in A-Z folds only outside Big5"},
      {"\xA7\xE1", "\xA7\xC1", 1, "bytes 0x80 and up do not fold"},
      {"\x80", "z", 1, "high bytes compare unsigned"},
      {forty, fortyThenMore, 0, "only 40 bytes are compared"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(sign(pak_name_compare(c.a.c_str(), c.b.c_str())), c.expected);
    EXPECT_EQ(sign(pak_name_compare(c.b.c_str(), c.a.c_str())), -c.expected);
  }
}

TEST(PakNames, CompareStopsAtFortyBytesWithoutTerminator) {
  // Two name fields without any NUL, each ending a guarded block: a read past a field faults.
  GuardedBytes a(PAK_NAME_SIZE), b(PAK_NAME_SIZE);
  ASSERT_NE(a.data(), nullptr);
  ASSERT_NE(b.data(), nullptr);
  std::memset(a.data(), 'Q', PAK_NAME_SIZE);
  std::memset(b.data(), 'q', PAK_NAME_SIZE);
  EXPECT_EQ(pak_name_compare(a.chars(), b.chars()), 0);
}

TEST(PakNames, ExecutablePathTable) {
  const struct {
    const char* path;
    bool executable;
  } cases[] = {
      {"C:\\Game\\Updater.exe", true},
      {"UPDATER.EXE", true},
      {"a.ExE", true},
      {"x.exe", true},
      {".exe", false},
      {"exe", false},
      {"", false},
      {"Update.PAK", false},
      {"game.exe.bak", false},
      {"gameexe", false},
      {"/tmp/dir.exe/file", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pak_path_is_executable(c.path), c.executable) << c.path;
  }
  EXPECT_FALSE(pak_path_is_executable(nullptr));
}

}  // namespace
