// Members past the whole-buffer budget (lowered here so small files take that path): added by
// streaming zlib with the head written last, and extracted, written out by cat and verified in
// chunks, each giving what the whole-buffer path gives; damaged ones refused as there.
#include <filesystem>

#include "pak_tool_fixture.h"
#include "tools/pak/codec_choice.h"
#include "tools/pak/member_record.h"

namespace {

constexpr uint64_t kSmallBudget = 4096;

Bytes sample(size_t length, uint32_t seed) {
  Bytes out(length);
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1664525u + 1013904223u;
    out[i] = (i / 100) % 4 == 0 ? uint8_t(seed >> 24) : uint8_t("member text "[i % 12]);
  }
  return out;
}

class StreamedMember : public PakToolTest {
 protected:
  void SetUp() override {
    PakToolTest::SetUp();
    g_codecBudget = kSmallBudget;
  }
  void TearDown() override {
    g_codecBudget = CODEC_WHOLE_BUFFER_BUDGET;
    PakToolTest::TearDown();
  }

  // A new archive holding the files added by the tool.
  std::string archive_with(const std::vector<std::string>& files, const std::string& extra = "") {
    const std::string archive = file("s.pak");
    EXPECT_EQ(pak({"create", archive}).code, 0);
    std::vector<std::string> args{"add", archive};
    args.insert(args.end(), files.begin(), files.end());
    if (!extra.empty()) args.push_back(extra);
    const ToolRun run = pak(args);
    EXPECT_EQ(run.code, 0) << run.err;
    return archive;
  }
};

TEST_F(StreamedMember, AddWritesTheRecordZlibMakesWhole) {
  // Past the budget (streamed) and within it (whole), side by side.
  const Bytes big = sample(3 << 20, 1);
  const Bytes small = sample(1000, 2);
  const std::string archive = archive_with({put("big.bin", big), put("small.bin", small)});
  const std::vector<SeenEntry> seen = entries_of(archive);
  ASSERT_EQ(seen.size(), 2u);
  Bytes expected;
  ASSERT_TRUE(pack_record(big.data(), big.size(), -1, &expected, Codec::Zlib));
  EXPECT_EQ(seen[0].stored, expected);  // head with the final sizes, then the stream
  EXPECT_EQ(unpacked(seen[1].stored), std::string(small.begin(), small.end()));
}

TEST_F(StreamedMember, StoredFilesAreCopiedAsTheyAre) {
  const Bytes big = sample(100000, 3);
  const std::string archive = archive_with({put("big.bin", big)}, "--stored");
  const std::vector<SeenEntry> seen = entries_of(archive);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].stored, big);
}

TEST_F(StreamedMember, ExtractCatAndVerifyGiveTheContent) {
  const Bytes big = sample(3 << 20, 4);
  const Bytes raw = sample(20000, 5);
  const std::string archive = archive_with({put("big.bin", big)});
  ASSERT_EQ(pak({"add", archive, put("raw.bin", raw), "--stored"}).code, 0);

  const std::string out = file("out");
  const ToolRun extracted = pak({"extract", archive, "-C", out});
  EXPECT_EQ(extracted.code, 0) << extracted.err;
  EXPECT_EQ(read_file_bytes(out + "/big.bin"), big);
  EXPECT_EQ(read_file_bytes(out + "/raw.bin"), raw);

  const ToolRun cat = pak({"cat", archive, "big.bin"});
  EXPECT_EQ(cat.code, 0) << cat.err;
  EXPECT_EQ(cat.out, std::string(big.begin(), big.end()));

  const ToolRun stored = pak({"extract", archive, "big.bin", "-C", file("stored"), "--stored"});
  EXPECT_EQ(stored.code, 0) << stored.err;
  EXPECT_EQ(read_file_bytes(file("stored") + "/big.bin"), entries_of(archive)[0].stored);

  const ToolRun verified = pak({"verify", archive});
  EXPECT_EQ(verified.code, 0) << verified.err;
  EXPECT_EQ(verified.out, archive + ": 2 members sound\n");
}

TEST_F(StreamedMember, DamagedRecordsAreRefused) {
  const Bytes big = sample(200000, 6);
  Bytes record;
  ASSERT_TRUE(pack_record(big.data(), big.size(), -1, &record, Codec::Zlib));
  const auto with = [&record](size_t at, uint8_t mask) {
    Bytes b = record;
    b[at] ^= mask;
    return b;
  };
  Bytes longer = record;  // announces one content byte more than the stream holds
  store_le32(&longer[0], uint32_t(big.size() + 1));
  const struct {
    const char* what;
    Bytes stored;
  } cases[] = {
      {"bad check value", with(record.size() - 1, 0x10)},
      {"damaged data", with(record.size() / 2, 0x55)},
      {"truncated stream", Bytes(record.begin(), record.end() - 100)},
      {"content shorter than announced", longer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FixtureArchive a;
    a.members = {{"big.bin", c.stored, false, 0}};
    const std::string archive = put("bad.pak", pak_fixture_bytes(a));

    const ToolRun verified = pak({"verify", archive});
    EXPECT_EQ(verified.code, 1);
    EXPECT_NE(verified.err.find("\"big.bin\""), std::string::npos) << verified.err;

    const std::string out = file("bad-out");
    const ToolRun extracted = pak({"extract", archive, "-C", out});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_EQ(extracted.err, "pak: " + archive + ": \"big.bin\": its packed record is damaged\n");
    EXPECT_FALSE(std::filesystem::exists(out + "/big.bin"));  // no part of it left

    EXPECT_EQ(pak({"cat", archive, "big.bin"}).code, 1);
  }
}

}  // namespace
