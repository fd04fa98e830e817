// Damaged packed records as the commands meet them: a member added by pak add, then damaged in
// its head or its stream, is named by verify and refused by cat and extract, never taken for
// stored bytes; list still shows the unpacked size its head announces.
#include "pak_tool_fixture.h"

namespace {

using DamagedMember = PakToolTest;

constexpr size_t kContentBytes = 5000;

// The changes made to the record of the member, as offsets into the record and bytes XORed in,
// or a packed size written over the head's.
struct Damage {
  const char* name;
  size_t at;         // record byte to change
  uint8_t bits;      // XORed into it (0: none)
  int64_t packedBy;  // added to the head's packed size
  int64_t unpackedBy;  // added to the head's unpacked size
};

TEST_F(DamagedMember, EveryCommandRefusesADamagedRecord) {
  std::string content;
  uint32_t seed = 7;
  for (size_t i = 0; i < kContentBytes; ++i) {
    seed = seed * 1664525u + 1013904223u;
    content += char('a' + (seed >> 24) % 26);  // packs to a record of some thousands of bytes
  }
  put("x.txt", content);
  const std::string good = file("good.pak");
  ASSERT_EQ(pak({"create", good}).code, 0);
  ASSERT_EQ(pak({"add", good, file("x.txt")}).code, 0);
  const std::vector<SeenEntry> seen = entries_of(good);
  ASSERT_EQ(seen.size(), 1u);
  const size_t recordAt = size_t(seen[0].offset);
  const size_t recordBytes = size_t(seen[0].size);

  const Damage damages[] = {
      {"first stream byte flipped", 8, 0xFF, 0, 0},
      {"stream header's check bits", 9, 0x01, 0, 0},
      {"packed size past the member", 0, 0, 1000, 0},
      {"packed size one past the member", 0, 0, 1, 0},
      {"packed size cut", 0, 0, -10, 0},
      {"packed size below any stream", 0, 0, -int64_t(recordBytes - 12), 0},
      {"unpacked size one more", 0, 0, 0, 1},
      {"unpacked size one fewer", 0, 0, 0, -1},
      {"unpacked size past any ratio", 0, 0, 0, int64_t(3) << 30},
      {"deflate data flipped", recordBytes / 2, 0x10, 0, 0},
      {"check sum flipped", recordBytes - 1, 0x01, 0, 0},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    Bytes bytes = read_file_bytes(good);
    uint8_t* record = &bytes[recordAt];
    record[d.at] ^= d.bits;
    store_le32(record, uint32_t(int64_t(load_le32(record)) + d.unpackedBy));
    store_le32(record + 4, uint32_t(int64_t(load_le32(record + 4)) + d.packedBy));
    const std::string path = put("bad.pak", bytes);

    const ToolRun verify = pak({"verify", path});
    EXPECT_EQ(verify.code, 1);
    EXPECT_EQ(verify.out, "");
    EXPECT_EQ(verify.err, "pak: " + path +
                              ": \"x.txt\": its packed record does not inflate to its unpacked "
                              "size\n");

    const ToolRun cat = pak({"cat", path, "x.txt"});
    EXPECT_EQ(cat.code, 1);
    EXPECT_EQ(cat.out, "");
    EXPECT_EQ(cat.err, "pak: " + path + ": \"x.txt\": its packed record is damaged\n");

    const std::string out = file("out");
    const ToolRun extract = pak({"extract", path, "-C", out});
    EXPECT_EQ(extract.code, 1);
    EXPECT_FALSE(exists_on_disk(out + "/x.txt"));

    const ToolRun list = pak({"list", path});
    EXPECT_EQ(list.code, 0);
    const uint32_t announced = load_le32(record);
    EXPECT_NE(list.out.find(" " + std::to_string(announced) + " "), std::string::npos)
        << list.out;
  }
}

}  // namespace
