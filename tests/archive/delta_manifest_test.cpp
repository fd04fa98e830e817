// The manifest: records written and read back alike, member names of deltas, and a table of
// damaged manifests, each refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "archive/delta_manifest.h"
#include "support/pak_fixture.h"

namespace {

ManifestRecord record(uint8_t file, uint8_t base) {
  ManifestRecord r{};
  r.file = file;
  r.base = base;
  r.targetSize = 1000u + file;
  memset(r.targetSha256, 0x40 + file, DELTA_SHA256_SIZE);
  if (base != DELTA_NO_BASE) {
    r.baseSize = 900u + base;
    memset(r.baseSha256, 0x10 + base, DELTA_SHA256_SIZE);
    r.deltaSize = 77;
  }
  return r;
}

DeltaManifest sample() {
  DeltaManifest m{};
  m.count = 5;
  m.records[0] = record(DELTA_FILE_EXE, 0);
  m.records[1] = record(DELTA_FILE_EXE, 1);
  m.records[2] = record(DELTA_FILE_PACK, 0);
  m.records[3] = record(DELTA_FILE_PACK, 1);
  m.records[4] = record(DELTA_FILE_PACK, DELTA_NO_BASE);
  return m;
}

Bytes bytes_of(const DeltaManifest& m) {
  Bytes out(MANIFEST_MAX_SIZE);
  out.resize(delta_manifest_encode(m, out.data()));
  return out;
}

TEST(DeltaManifest, ReadsBackWhatWasWritten) {
  const Bytes bytes = bytes_of(sample());
  ASSERT_EQ(bytes.size(), MANIFEST_HEAD_SIZE + 5 * MANIFEST_RECORD_SIZE);
  EXPECT_EQ(memcmp(bytes.data(), "VDM1\x01\x00\x05\x00", 8), 0);
  DeltaManifest back{};
  ASSERT_EQ(delta_manifest_decode(bytes.data(), bytes.size(), &back), 0);
  ASSERT_EQ(back.count, 5);
  EXPECT_TRUE(bytes_of(back) == bytes);
  EXPECT_EQ(back.records[3].baseSize, 901u);
  EXPECT_EQ(back.records[4].base, DELTA_NO_BASE);
}

TEST(DeltaManifest, RefusesDamagedManifests) {
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }},
      {"head only, cut", [](Bytes& b) { b.resize(7); }},
      {"wrong magic", [](Bytes& b) { b[3] = '2'; }},
      {"wrong version", [](Bytes& b) { b[4] = 2; }},
      {"no records", [](Bytes& b) { b[6] = 0; b.resize(MANIFEST_HEAD_SIZE); }},
      {"count past the records", [](Bytes& b) { b[6] = 6; }},
      {"count short of the records", [](Bytes& b) { b[6] = 4; }},
      {"a byte more", [](Bytes& b) { b.push_back(0); }},
      {"too many records", [](Bytes& b) { b[6] = MANIFEST_MAX_RECORDS + 1; b.resize(MANIFEST_MAX_SIZE + MANIFEST_RECORD_SIZE); }},
      {"unknown file", [](Bytes& b) { b[8] = 2; }},
      {"base out of range", [](Bytes& b) { b[9] = DELTA_MAX_BASES; }},
      {"reserved bytes", [](Bytes& b) { b[10] = 1; }},
      {"target of 2 GiB", [](Bytes& b) { b[8 + 7] = 0x80; }},
      {"the same file and base twice", [](Bytes& b) { b[8 + 80 + 1] = 0; }},
      {"one file, two new sizes", [](Bytes& b) { b[8 + 80 + 4] ^= 1; }},
      {"one file, two new digests", [](Bytes& b) { b[8 + 80 + 8 + 31] ^= 1; }},
      {"a whole-file record naming a base size", [](Bytes& b) { b[8 + 4 * 80 + 40] = 1; }},
      {"a whole-file record naming a base digest", [](Bytes& b) { b[8 + 4 * 80 + 44 + 5] = 1; }},
      {"a whole-file record naming a delta", [](Bytes& b) { b[8 + 4 * 80 + 76] = 1; }},
  };
  for (const auto& c : cases) {
    Bytes bytes = bytes_of(sample());
    c.damage(bytes);
    DeltaManifest m{};
    EXPECT_EQ(delta_manifest_decode(bytes.data(), bytes.size(), &m), -1) << c.what;
  }
}

TEST(DeltaManifest, NamesDeltaMembers) {
  char name[DELTA_MEMBER_NAME_ROOM];
  ASSERT_TRUE(delta_member_name("#:\\Velmor.EXE", 0, name, sizeof name));
  EXPECT_STREQ(name, "#:\\Velmor.EXE.d0");
  ASSERT_TRUE(delta_member_name("#:\\Update.PAK", 15, name, sizeof name));
  EXPECT_STREQ(name, "#:\\Update.PAK.d15");
  EXPECT_FALSE(delta_member_name("#:\\Update.PAK", 15, name, 17));
}

}  // namespace
