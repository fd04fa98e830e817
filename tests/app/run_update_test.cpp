// The update procedure's outcomes on game folders built in temporary folders: each result bit
// with what it leaves on disk, the marker test, the forms of the game folder, damaged packs
// and payloads, and a game executable the system refuses to replace.
#include <filesystem>
#include <string>

#include "app/updater.h"
#include "support/fault_injection.h"
#include "app/interrupted_run.h"
#include "support/host_override.h"
#include "update_fixture.h"
#include "host/host.h"

namespace {

// Update packs of the game and what the marker test makes of them.
struct MarkerCase {
  const char* what;
  FixtureArchive pack;
  uint32_t result;
};

// A member holding its own name.
FixtureMember plain(const std::string& name) { return FixtureMember{name, bytes_of(name)}; }

TEST_F(UpdateTest, MarkersDecideWhetherTheUpdateRuns) {
  const MarkerCase cases[] = {
      {"both markers", archive('@', {plain("Update01.txt"), plain("Update02.txt")}),
       RESULT_NEWER_INSTALLED},
      {"only this update's marker", archive('@', {plain("Update01.txt")}), RESULT_ALREADY_UPDATED},
      {"only the later marker", archive('@', {plain("Update02.txt")}), RESULT_NEWER_INSTALLED},
      {"markers in other letter case", archive('@', {plain("UPDATE01.TXT"), plain("update02.TXT")}),
       RESULT_NEWER_INSTALLED},
      {"compressed directory", archive('@', {plain("Update01.txt")}, true), RESULT_ALREADY_UPDATED},
      {"a marker under a folder", archive('@', {plain("Old\\Update01.txt")}), RESULT_UPDATED},
      {"deleted marker", archive('@', {FixtureMember{"Update01.txt", bytes_of("x"), true, 0}}),
       RESULT_UPDATED},
      {"no markers", archive('@', {plain("Readme.txt")}), RESULT_UPDATED},
      {"a pack not serving @", archive('A', {plain("Update01.txt"), plain("Update02.txt")}),
       RESULT_UPDATED},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(c.pack)));
    build_updater();
    expect_run(c.result);
  }
}

TEST_F(UpdateTest, WithoutAnUpdatePackBothFilesAreInstalled) {
  install_game();
  std::filesystem::remove(game("Update.PAK"));
  build_updater();
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
  EXPECT_STREQ(selfPath, updater_.c_str());
  expect_nothing_open();
}

TEST_F(UpdateTest, ASecondRunFindsItsOwnMarker) {
  install_game();
  build_updater();
  RunUpdate();
  ASSERT_EQ(updateResult, RESULT_UPDATED);
  const FolderState after = snapshot(game_.path());
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_ALREADY_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), after);
}

TEST_F(UpdateTest, FolderWithTrailingBackslashGivesTheSamePaths) {
  install_game();
  build_updater();
  std::strcat(gameFolder, "\\");
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateTest, EmptyGameFolderMeansTheCurrentDirectory) {
  install_game();
  build_updater();
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(game_.path());
  gameFolder[0] = '\0';
  RunUpdate();
  std::filesystem::current_path(here);
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateTest, FolderTooLongForTheSystemChangesNothing) {
  install_game();
  build_updater();
  const FolderState before = snapshot(game_.path());
  // 259 bytes: the longest folder the buffer holds; no path into it fits a system call.
  std::string folder = game_.path() + "/";
  folder.resize(GAME_FOLDER_ROOM - 1, 'x');
  std::strcpy(gameFolder, folder.c_str());
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);
  expect_nothing_open();
}

TEST_F(UpdateTest, ReadOnlyGameExecutableIsReplaced) {
  install_game();
  set_read_only(game("Velmor.EXE"), true);
  build_updater();
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateTest, MissingGameExecutableIsInstalledWithoutMarkerTest) {
  install_game();
  std::filesystem::remove(game("Velmor.EXE"));
  ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', {plain("Update01.txt")}))));
  build_updater();
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateTest, GameExecutableHeldOpenIsNotReplaced) {
  install_game();
  build_updater();
  const FolderState before = snapshot(game_.path());
  const HostHandle running = host_open(game("Velmor.EXE").c_str(), HOST_MODE_READ);
  ASSERT_NE(running, HOST_INVALID_HANDLE);
  RunUpdate();
  host_close(running);
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);
  expect_nothing_open();
}

TEST_F(UpdateTest, GameExecutableHeldForWritingStopsBeforeAnything) {
  install_game();
  build_updater();
  const FolderState before = snapshot(game_.path());
  const HostHandle writer = host_open(game("Velmor.EXE").c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(writer, HOST_INVALID_HANDLE);
  RunUpdate();
  host_close(writer);
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);
}

TEST_F(UpdateTest, UpdatePackHeldOpenIsNotReplacedAndTheExecutableIsPutBack) {
  install_game();
  set_read_only(game("Velmor.EXE"), true);
  build_updater();
  const FolderState before = snapshot(game_.path());
  const HostHandle reader = host_open(game("Update.PAK").c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  RunUpdate();
  host_close(reader);
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);  // the executable read-only again, too
}

// Game update packs that are damaged or no archive at all.
TEST_F(UpdateTest, DamagedGameUpdatePacks) {
  Bytes damagedDirectory = pak_fixture_bytes(archive('@', {plain("Update02.txt")}, true));
  damagedDirectory[damagedDirectory.size() - 3] ^= 0xFF;  // inside the directory's stream
  Bytes header = pak_fixture_bytes(archive('@', {plain("Update02.txt")}));
  header.resize(PAK_HEADER_SIZE);
  const struct {
    const char* what;
    Bytes pack;
    uint32_t result;
  } cases[] = {
      {"empty file", {}, RESULT_UPDATED},
      {"not an archive", bytes_of("this is not a PAK archive at all"), RESULT_UPDATED},
      {"header only", header, RESULT_UPDATED},
      {"damaged directory", damagedDirectory, RESULT_FAILED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), c.pack));
    build_updater();
    expect_run(c.result);
  }
}

// Updaters whose payload is damaged: nothing in the game folder changes.
TEST_F(UpdateTest, DamagedPayloads) {
  Bytes badStream = pak_fixture_member_record(bytes_of("new game executable, damaged in transit"));
  badStream[PAK_MEMBER_RECORD_HEADER_SIZE + 6] ^= 0x55;
  Bytes longer = pak_fixture_member_record(bytes_of("content"));
  store_le32(&longer[4], uint32_t(longer.size()));  // packed size past the record's end
  Bytes wrongSize = pak_fixture_member_record(bytes_of("content"));
  store_le32(&wrongSize[0], 3);  // inflates to more than announced
  const Bytes pack = pak_fixture_member_record(bytes_of("pack"));
  const struct {
    const char* what;
    std::vector<FixtureMember> members;
    uint32_t result;
  } cases[] = {
      {"damaged executable stream", {{"#:\\Velmor.EXE", badStream}, {"#:\\Update.PAK", pack}}, RESULT_FAILED},
      {"damaged pack stream", {packed_member("#:\\Velmor.EXE", bytes_of("x")), {"#:\\Update.PAK", badStream}},
       RESULT_FAILED},
      {"record shorter than its head", {{"#:\\Velmor.EXE", bytes_of("1234567")}, {"#:\\Update.PAK", pack}},
       RESULT_FAILED},
      {"packed size past the record", {{"#:\\Velmor.EXE", longer}, {"#:\\Update.PAK", pack}}, RESULT_FAILED},
      {"content longer than announced", {{"#:\\Velmor.EXE", wrongSize}, {"#:\\Update.PAK", pack}},
       RESULT_FAILED},
      {"no executable member", {{"#:\\Update.PAK", pack}}, RESULT_FAILED},
      {"no pack member", {packed_member("#:\\Velmor.EXE", bytes_of("x"))}, RESULT_FAILED},
      {"names without the mount prefix", {packed_member("Velmor.EXE", bytes_of("x")), {"Update.PAK", pack}},
       RESULT_FAILED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    build_updater(c.members);
    expect_run(c.result);
  }
}

TEST_F(UpdateTest, UpdaterWithoutReadableArchiveReportsDamagedPack) {
  const struct {
    const char* what;
    std::string name;
    uint8_t letter;
    bool cutLocator;
  } cases[] = {
      {"name not ending in .exe", "VelmorUpdate.bin", '#', false},
      {"archive not serving #", "VelmorUpdate.exe", '@', false},
      {"locator cut off", "VelmorUpdate.exe", '#', true},
      {"no such file", "", '#', false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    build_updater({packed_member("#:\\Velmor.EXE", newExe_), packed_member("#:\\Update.PAK", newPack_)},
                  c.name.empty() ? "Gone.exe" : c.name, c.letter);
    if (c.cutLocator) std::filesystem::resize_file(updater_, std::filesystem::file_size(updater_) - 2);
    if (c.name.empty()) std::filesystem::remove(updater_);
    expect_run(RESULT_PACK_DAMAGED);
  }
}

TEST_F(UpdateTest, EmptyMemberIsInstalledAsAnEmptyFile) {
  install_game();
  newExe_.clear();
  build_updater();
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateTest, InstallRecordOutcomesLeaveTheUpdateStanding) {
  const struct {
    const char* what;
    bool present;
    Bytes record;
    bool appended;
  } cases[] = {
      {"no record", false, {}, false},
      {"record listing the pack", true, install_record({"data.pak", "UPDATE.PAK"}), false},
      {"record too short", true, Bytes(775, 1), false},
      {"empty list", true, install_record({}), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    std::filesystem::remove(game("INSTALL.DAT"));
    if (c.present) {
      ASSERT_TRUE(write_file_bytes(game("INSTALL.DAT"), c.record));
    }
    build_updater();
    RunUpdate();
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    FolderState expected = updated_state();
    expected.erase("INSTALL.DAT");
    if (c.present) expected["INSTALL.DAT"].bytes = c.appended ? appended_record(c.record, {}) : c.record;
    EXPECT_EQ(snapshot(game_.path()), expected);
  }
}

// Folders as an interrupted run leaves them: the run puts them right first, then updates.
TEST_F(UpdateTest, NamesThatLookLikeAnUpdatesOwnAreNeverTouched) {
  // No journal names them, so whoever made them, they stay as they are, read-only or not, and
  // the update takes other names.
  const std::vector<std::string> planted = {
      "Velmor.EXE.~new0", "Velmor.EXE.~old0", "update.pak.~NEW0", "INSTALL.DAT.~old1",
      "Update.PAK.~old9", "Velmor.EXE.~newer", "Velmor.EXE.~new", "Game.EXE.~new0", "Velmor.EXE~old0"};
  for (const bool newerInstalled : {false, true}) {
    SCOPED_TRACE(newerInstalled ? "later update installed" : "update to install");
    next_case();
    if (newerInstalled) {
      ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', {plain("Update02.txt")}))));
    }
    const FolderState installed = snapshot(game_.path());
    for (const std::string& name : planted) ASSERT_TRUE(write_file_bytes(game(name), bytes_of(name)));
    set_read_only(game(planted[0]), true);
    build_updater();
    RecoverAtStartUp(gameFolder);
    RunUpdate();
    FolderState expected = newerInstalled ? installed : updated_state();
    for (const std::string& name : planted) expected[name] = FileState{bytes_of(name), name == planted[0]};
    EXPECT_EQ(updateResult, newerInstalled ? RESULT_NEWER_INSTALLED : RESULT_UPDATED);
    EXPECT_EQ(snapshot(game_.path()), expected);
  }
}

// A look at a game file that fails is no proof that the file is absent: the run stops with
// nothing changed, also where a later update is installed.
TEST_F(UpdateTest, AFailedLookAtAGameFileIsAFailure) {
  const struct {
    const char* what;
    int lookup;  // which lookup of the run fails
  } cases[] = {
      {"the executable", 1},
      {"the update pack", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', {plain("Update02.txt")}))));
    build_updater();
    const FolderState before = snapshot(game_.path());
    {
      HostFaults faults;
      faults.fail(HostOp::Lookup, c.lookup);
      RunUpdate();
    }
    EXPECT_EQ(updateResult, RESULT_FAILED);
    EXPECT_EQ(snapshot(game_.path()), before);
  }
}

// A game file another program holds for a moment at its swap (a scanner) is waited for; one held
// for the whole wait fails the update with every file as it was.
int g_heldSwaps = 0;  // swaps of the pack still to be refused
int held_replace(const char* from, const char* to) {
  const std::string target = to;
  if (target.size() >= 10 && target.compare(target.size() - 10, 10, "Update.PAK") == 0 && g_heldSwaps > 0) {
    --g_heldSwaps;
    return HOST_IN_USE;
  }
  return g_hostDefaultOps.replace(from, to);
}

TEST_F(UpdateTest, AFileHeldForAMomentAtItsSwapIsWaitedFor) {
  for (const int held : {3, 1000}) {
    SCOPED_TRACE(held);
    next_case();
    build_updater();
    const HostPatience shortWait(600);
    g_heldSwaps = held;
    const FolderState before = snapshot(game_.path());
    host_override(&HostOps::replace, held_replace);
    RunUpdate();
    host_restore_all();
    if (held == 3) {
      EXPECT_EQ(updateResult, RESULT_UPDATED);
      EXPECT_EQ(snapshot(game_.path()), updated_state());
    } else {
      EXPECT_EQ(updateResult, RESULT_FAILED);
      EXPECT_EQ(runFailure, RunFailure::GameInUse);
      EXPECT_EQ(snapshot(game_.path()), before);
    }
  }
}

}  // namespace
