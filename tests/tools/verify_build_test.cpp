// pak verify and pak build-updater: sound and damaged members, and an updater whose appended
// archive the library opens through the locator, with both payload members found under the
// names the updater looks up and inflating to the files given; its length ready for signing,
// and the signed form still read and verified.
#include "pak_tool_fixture.h"
#include "support/pe_fixture.h"
#include "vfs/file_handle.h"

namespace {

using VerifyBuild = PakToolTest;

TEST_F(VerifyBuild, VerifyPassesASoundArchive) {
  const std::string path = file("ok.pak");
  ASSERT_EQ(pak({"create", path}).code, 0);
  put("a.txt", std::string(5000, 'a'));
  put("e.txt", "");
  ASSERT_EQ(pak({"add", path, file("a.txt"), file("e.txt")}).code, 0);
  ASSERT_EQ(pak({"add", path, file("a.txt"), "--stored", "--as", "raw"}).code, 0);
  const ToolRun run = pak({"verify", path});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, path + ": 3 members sound\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(VerifyBuild, VerifyNamesEachBadMember) {
  FixtureArchive a;
  Bytes broken = pak_fixture_member_record(bytes_of(std::string(3000, 'q')));
  broken[broken.size() / 2] ^= 0xFF;
  Bytes wrongSize = pak_fixture_member_record(bytes_of("twelve bytes"));
  store_le32(wrongSize.data(), 13);  // claims one byte more than the stream holds
  a.members = {{"good", pak_fixture_member_record(bytes_of("fine")), false, 0},
               {"broken", broken, false, 0},
               {"wrong size", wrongSize, false, 0},
               {"stored", bytes_of("not a record"), false, 0},
               {"long", bytes_of("runs into the directory"), false, 0}};
  FixtureLayout layout = pak_fixture_build(a);
  // The last entry claims bytes of the directory that follows it.
  store_le32(&layout.bytes[size_t(layout.directoryOffset) + 4 * PAK_ENTRY_SIZE], 200);
  const std::string path = put("bad.pak", layout.bytes);

  const ToolRun run = pak({"verify", path});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "pak: " + path + ": \"broken\": its packed record does not inflate to its unpacked size\n"
            "pak: " + path + ": \"wrong size\": its packed record does not inflate to its unpacked size\n"
            "pak: " + path + ": \"long\": lies outside the member data\n");
}

class BuildUpdater : public PakToolTest {
 protected:
  void SetUp() override {
    PakToolTest::SetUp();
    stub_ = pak_fixture_executable(7000);
    game_ = Bytes(300000, 0);
    for (size_t i = 0; i < game_.size(); ++i) game_[i] = uint8_t(i * 2654435761u >> 24);
    FixtureArchive pack;
    pack.members = {{"Update01.txt", bytes_of("marker"), false, 0}};
    pack_ = pak_fixture_bytes(pack);
    put("stub.exe", stub_);
    put("Velmor.EXE", game_);
    put("Update.PAK", pack_);
  }
  ToolRun build(const std::string& out) {
    return pak({"build-updater", "--stub", file("stub.exe"), "--game-exe", file("Velmor.EXE"),
                "--pack", file("Update.PAK"), "-o", out});
  }
  // A member of the open archive read through a member handle, as the updater reads it.
  static Bytes member(const char* path) {
    const int32_t h = vfs_open(path, 0);
    if (h < 0) return {};
    Bytes out(size_t(vfs_size(h)));
    vfs_read(h, out.data(), int32_t(out.size()));
    vfs_close(h);
    return out;
  }

  Bytes stub_, game_, pack_;
};

TEST_F(BuildUpdater, TheUpdaterFindsItsPayload) {
  const std::string out = file("Update.exe");
  const ToolRun run = build(out);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Bytes whole = read_file_bytes(out);
  ASSERT_GT(whole.size(), stub_.size());
  EXPECT_TRUE(std::equal(stub_.begin(), stub_.end(), whole.begin()));
  EXPECT_EQ(load_le32(&whole[whole.size() - 4]), stub_.size());

  ASSERT_EQ(pak_open(out.c_str(), PAK_OPEN_READ), 0);
  EXPECT_EQ(g_archives[0].firstLetter, '#');
  EXPECT_EQ(g_archives[0].lastLetter, '#');
  EXPECT_EQ(g_archives[0].entryCount, 2);
  EXPECT_NE(g_archives[0].packedDirectorySize, 0);
  EXPECT_EQ(unpacked(member("#:\\Velmor.EXE")), std::string(game_.begin(), game_.end()));
  EXPECT_EQ(unpacked(member("#:\\Update.PAK")), std::string(pack_.begin(), pack_.end()));
  pak_close_all();

  const ToolRun listed = pak({"list", out});
  EXPECT_NE(listed.out.find("#:\\Velmor.EXE"), std::string::npos);
  EXPECT_EQ(pak({"verify", out}).code, 0);
  EXPECT_TRUE(leftovers().empty());
}

// Signing adds no padding to an updater: its length is a multiple of 8 whatever the stub's,
// the zero bytes lying after the archive's directory, where readers ignore them.
TEST_F(BuildUpdater, TheUpdaterIsReadyForSigning) {
  for (size_t stubSize = 7000; stubSize < 7008; ++stubSize) {
    SCOPED_TRACE(stubSize);
    put("stub.exe", pe_fixture_image(stubSize));
    const std::string out = file("Update.exe");
    ASSERT_EQ(build(out).code, 0);
    const Bytes whole = read_file_bytes(out);
    EXPECT_EQ(whole.size() % 8, 0u);
    EXPECT_EQ(load_le32(&whole[whole.size() - 4]), stubSize) << "the locator is still last";

    const std::string signedPath = put("Signed.exe", pe_fixture_sign(whole, 0, 2048));
    const ToolRun verify = pak({"verify", signedPath});
    EXPECT_EQ(verify.code, 0) << verify.err;
    EXPECT_EQ(verify.out, signedPath + ": 2 members sound\n");
    ASSERT_EQ(pak_open(signedPath.c_str(), PAK_OPEN_READ), 0);
    EXPECT_EQ(unpacked(member("#:\\Update.PAK")), std::string(pack_.begin(), pack_.end()));
    pak_close_all();
  }
}

TEST_F(BuildUpdater, RefusesASignedStub) {
  put("stub.exe", pe_fixture_sign(pe_fixture_image(7000), 0));
  const std::string out = file("Update.exe");
  const ToolRun run = build(out);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "pak: " + file("stub.exe") +
                         ": is signed: build the updater from the unsigned stub, then sign the "
                         "updater\n");
  EXPECT_FALSE(exists_on_disk(out));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(BuildUpdater, WarnsWhenTheNameIsNoExecutable) {
  const ToolRun run = build(file("updater.bin"));
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "pak: " + file("updater.bin") +
                         ": warning: the updater finds its archive only when its file name ends "
                         "in \".exe\"\n");
  EXPECT_TRUE(exists_on_disk(file("updater.bin")));
}

TEST_F(BuildUpdater, RefusesMissingOrWrongInputs) {
  put("notes.txt", "not an archive");
  const std::string out = file("Update.exe");
  expect_refused({
      {{"build-updater", "--stub", file("none.exe"), "--game-exe", file("Velmor.EXE"), "--pack",
        file("Update.PAK"), "-o", out},
       1},
      {{"build-updater", "--stub", file("stub.exe"), "--game-exe", file("none"), "--pack",
        file("Update.PAK"), "-o", out},
       1},
      {{"build-updater", "--stub", file("stub.exe"), "--game-exe", file("Velmor.EXE"), "--pack",
        file("notes.txt"), "-o", out},
       1},
      {{"build-updater", "--stub", file("stub.exe"), "--game-exe", file("Velmor.EXE"), "-o", out},
       2},
  });
  EXPECT_FALSE(exists_on_disk(out));
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace
