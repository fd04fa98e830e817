// pak build-updater with bases: a delta for each file and base with the manifest, the whole
// files only with --with-full or where a delta would not be smaller; info, list and verify
// showing and checking the manifest; and the updater built so installing the new files from
// the player's old ones.
#include <cstring>
#include <filesystem>

#include "app/app_state.h"
#include "app/updater.h"
#include "archive/delta_manifest.h"
#include "pak_tool_fixture.h"
#include "vfs/file_handle.h"

namespace {

Bytes noise(size_t length, uint32_t seed) { return pak_fixture_noise(length, seed); }

class DeltaBuild : public PakToolTest {
 protected:
  void SetUp() override {
    PakToolTest::SetUp();
    put("stub.exe", pak_fixture_executable(7000));
    // Version 1.00, and 1.01: the executable changed in scattered bytes, the pack grown by one
    // member and its marker.
    FixtureArchive pack;
    for (int i = 0; i < 8; ++i) pack.members.push_back({"Data" + std::to_string(i), noise(30000, uint32_t(i)), false, 0});
    oldExe_ = noise(200000, 50);
    oldPack_ = pak_fixture_bytes(pack);
    newExe_ = oldExe_;
    for (size_t i = 100; i < newExe_.size(); i += 5000) newExe_[i] ^= 0x21;
    pack.members.push_back({"New", noise(20000, 77), false, 0});
    pack.members.push_back({"Update01.txt", bytes_of("1.01"), false, 0});
    newPack_ = pak_fixture_bytes(pack);
    std::filesystem::create_directories(file("v100"));
    std::filesystem::create_directories(file("v101"));
    put("v100/Velmor.EXE", oldExe_);
    put("v100/Update.PAK", oldPack_);
    put("v101/Velmor.EXE", newExe_);
    put("v101/Update.PAK", newPack_);
  }

  ToolRun build(const std::vector<std::string>& extra, const std::string& out) {
    std::vector<std::string> args = {"build-updater", "--stub", file("stub.exe"), "--game-exe", file("v101/Velmor.EXE"),
                                     "--pack", file("v101/Update.PAK"), "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    return pak(args);
  }

  static std::vector<std::string> names(const std::string& path) {
    std::vector<std::string> out;
    for (const SeenEntry& e : entries_of(path)) out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
  }

  Bytes oldExe_, oldPack_, newExe_, newPack_;
};

TEST_F(DeltaBuild, CarriesDeltasAndTheManifest) {
  const std::string out = file("Delta.exe");
  const ToolRun run = build({"--base", file("v100")}, out);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("Update.PAK from " + file("v100") + ": delta "), std::string::npos) << run.out;
  EXPECT_EQ(names(out), (std::vector<std::string>{"#:\\Delta.MAN", "#:\\Update.PAK.d0", "#:\\Velmor.EXE.d0"}));
  const std::string whole = file("Whole.exe");
  ASSERT_EQ(build({}, whole).code, 0);
  EXPECT_LT(std::filesystem::file_size(out) * 4, std::filesystem::file_size(whole));
  EXPECT_TRUE(leftovers().empty());

  const ToolRun info = pak({"info", out});
  EXPECT_NE(info.out.find("delta manifest    2 records\nVelmor.EXE  200000 bytes  sha256 "), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("  base 0  200000 bytes  sha256 "), std::string::npos) << info.out;
  const ToolRun json = pak({"info", out, "--json"});
  EXPECT_NE(json.out.find("\"manifest\": ["), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"member\": \"#:\\\\Update.PAK.d0\""), std::string::npos) << json.out;
  const ToolRun listed = pak({"list", out, "--json"});
  EXPECT_NE(listed.out.find("\"manifest\": ["), std::string::npos) << listed.out;
  EXPECT_NE(pak({"list", out}).out.find("delta manifest (#:\\Delta.MAN)\nVelmor.EXE"), std::string::npos);

  const ToolRun verified = pak({"verify", out, "--base", file("v100")});
  EXPECT_EQ(verified.code, 0) << verified.err;
  EXPECT_EQ(verified.out, out + ": 3 members sound, 2 manifest records checked\n");
  // Against another version's files the delta is refused before it is applied.
  const ToolRun wrong = pak({"verify", out, "--base", file("v101")});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_NE(wrong.err.find("is not the base the delta was made from"), std::string::npos) << wrong.err;
  EXPECT_EQ(pak({"verify", whole, "--base", file("v100")}).code, 1);
}

TEST_F(DeltaBuild, WithFullCarriesTheWholeFilesToo) {
  const std::string out = file("Delta.exe");
  ASSERT_EQ(build({"--base", file("v100"), "--with-full"}, out).code, 0);
  EXPECT_EQ(names(out), (std::vector<std::string>{"#:\\Delta.MAN", "#:\\Update.PAK", "#:\\Update.PAK.d0",
                                                  "#:\\Velmor.EXE", "#:\\Velmor.EXE.d0"}));
  const ToolRun verified = pak({"verify", out});
  EXPECT_EQ(verified.out, out + ": 5 members sound, 2 manifest records checked\n") << verified.err;
  expect_refused({{{"build-updater", "--stub", file("stub.exe"), "--game-exe", file("v101/Velmor.EXE"), "--pack",
                    file("v101/Update.PAK"), "--with-full", "-o", out},
                   2},
                  {{"build-updater", "--stub", file("stub.exe"), "--game-exe", file("v101/Velmor.EXE"), "--pack",
                    file("v101/Update.PAK"), "--base", file("none"), "-o", file("Other.exe")},
                   1}});
  EXPECT_FALSE(exists_on_disk(file("Other.exe")));
}

// A base that shares nothing with the new executable gives a delta no smaller than the whole
// file: the whole file travels instead.
TEST_F(DeltaBuild, CarriesTheWholeFileWhereADeltaIsNotSmaller) {
  std::filesystem::create_directories(file("other"));
  put("other/Velmor.EXE", noise(200000, 999));
  put("other/Update.PAK", oldPack_);
  const std::string out = file("Delta.exe");
  const ToolRun run = build({"--base", file("other")}, out);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE(run.out.find("not smaller than the whole file"), std::string::npos) << run.out;
  EXPECT_EQ(names(out), (std::vector<std::string>{"#:\\Delta.MAN", "#:\\Update.PAK.d0", "#:\\Velmor.EXE"}));
  EXPECT_EQ(pak({"verify", out, "--base", file("other")}).code, 0);
}

// The updater the tool builds, run on a game folder holding the old version: the new files.
TEST_F(DeltaBuild, TheUpdaterRebuildsTheNewFiles) {
  const std::string out = file("Delta.exe");
  ASSERT_EQ(build({"--base", file("v101"), "--base", file("v100")}, out).code, 0);
  std::filesystem::create_directories(file("game"));
  put("game/Velmor.EXE", oldExe_);
  put("game/Update.PAK", oldPack_);
  std::strcpy(gameFolder, file("game").c_str());
  selfPathOverride = out.c_str();
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_TRUE(read_file_bytes(file("game/Velmor.EXE")) == newExe_);
  EXPECT_TRUE(read_file_bytes(file("game/Update.PAK")) == newPack_);
  selfPathOverride = nullptr;
}

}  // namespace
