// The real updater against a game file that another program holds, as a scanner or the search
// indexer holds a fresh file (reading, letting others read and write, nobody delete): held for
// a second it is waited out and the update succeeds; held past the updater's patience (made
// short for the test by VELMOR_PATIENCE_DIVISOR) the update fails with the folder as it was,
// also when the hold strikes the new pack part way and the way back meets a hold of its own.
#include <atomic>
#include <thread>

#include "e2e_fixture.h"

namespace {

// Ten seconds forward, a minute on the way back, each divided by this for the test.
constexpr char kDivisor[] = "20";
constexpr DWORD kForwardMs = 10000 / 20;

// A hold as a scanner's: read access, others may read and write but not delete or rename.
HANDLE hold(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD size_of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return DWORD(-1);
  return data.nFileSizeLow;
}

class HeldFile : public UpdaterE2E {
 protected:
  void TearDown() override {
    SetEnvironmentVariableA("VELMOR_PATIENCE_DIVISOR", nullptr);
    UpdaterE2E::TearDown();
  }
  // The updaters started from now on wait a twentieth of their patience.
  static void shorten_patience() { SetEnvironmentVariableA("VELMOR_PATIENCE_DIVISOR", kDivisor); }
};

TEST_F(HeldFile, HeldForASecondTheUpdateWaitsAndSucceeds) {
  install_game();
  HANDLE held = hold(game("Velmor.EXE"));
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Program updater;
  HWND dialog = start(updater);
  ASSERT_NE(dialog, nullptr);
  const DWORD pressed = GetTickCount();
  ASSERT_TRUE(press(dialog, IDOK));
  std::thread letGo([held] {
    Sleep(1000);
    CloseHandle(held);
  });
  EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
  letGo.join();
  EXPECT_GE(GetTickCount() - pressed, 1000u);
  expect_exit_0(updater);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(HeldFile, HeldPastThePatienceTheUpdateFailsWithTheFolderAsItWas) {
  shorten_patience();
  install_game();
  const FolderState before = snapshot(game_.path());
  HANDLE held = hold(game("Velmor.EXE"));
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Program updater;
  HWND dialog = start(updater);
  ASSERT_NE(dialog, nullptr);
  const DWORD pressed = GetTickCount();
  ASSERT_TRUE(press(dialog, IDOK));
  EXPECT_EQ(answer_message(updater, nullptr), shown::FAILED);
  EXPECT_GE(GetTickCount() - pressed, kForwardMs);
  expect_exit_0(updater);
  CloseHandle(held);
  EXPECT_EQ(snapshot(game_.path()), before);
}

// The new pack's copy is held from the moment it appears, so it cannot take the pack's name:
// the executable and the record, already replaced, go back. The new executable is held too
// for a while, and the way back waits for it. The holds end once the executable is the old
// one again, so that nothing of the update is left behind.
TEST_F(HeldFile, HeldPartWayTheWayBackWaitsAndLeavesTheFolderAsItWas) {
  shorten_patience();
  install_game();
  // A pack large enough that its copy is being written for a while, for the hold to catch.
  Bytes big(4 << 20);
  uint32_t seed = 12345;
  for (uint8_t& b : big) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
  FixtureArchive pack = archive('@', {member("Update01.txt", "1")});
  pack.members.push_back(FixtureMember{"Big.bin", big, false, 0});
  FixtureArchive payload = archive('#', {}, true);
  payload.members = {FixtureMember{"#:\\Velmor.EXE", pak_fixture_member_record(s_newExe), false, 0},
                     FixtureMember{"#:\\Update.PAK",
                                   pak_fixture_member_record(pak_fixture_bytes(pack)), false, 0}};
  const std::string bigUpdater = tools_path() + "\\BigPack.exe";
  ASSERT_TRUE(write_file_bytes(
      bigUpdater, pak_fixture_append(read_file_bytes(g_stubPath), pak_fixture_bytes(payload))));

  const FolderState before = snapshot(game_.path());
  const DWORD oldExeSize = size_of(game("Velmor.EXE"));
  std::atomic<bool> stop{false};
  std::atomic<bool> caughtCopy{false}, caughtExe{false}, exeBack{false};
  std::thread holder([&] {
    HANDLE copy = INVALID_HANDLE_VALUE, exe = INVALID_HANDLE_VALUE;
    DWORD exeSince = 0;
    while (!stop) {
      if (copy == INVALID_HANDLE_VALUE && !caughtCopy) {
        copy = hold(game("Update.PAK.~new0"));
        caughtCopy = copy != INVALID_HANDLE_VALUE;
      }
      const DWORD exeSize = size_of(game("Velmor.EXE"));
      if (copy != INVALID_HANDLE_VALUE && exe == INVALID_HANDLE_VALUE && !caughtExe &&
          exeSize != oldExeSize && exeSize != DWORD(-1)) {
        exe = hold(game("Velmor.EXE"));
        caughtExe = exe != INVALID_HANDLE_VALUE;
        exeSince = GetTickCount();
      }
      // Held past the pack's patience, well within the way back's.
      if (exe != INVALID_HANDLE_VALUE && GetTickCount() - exeSince > kForwardMs + 300) {
        CloseHandle(exe);
        exe = INVALID_HANDLE_VALUE;
      }
      if (caughtExe && exe == INVALID_HANDLE_VALUE && exeSize == oldExeSize) {
        exeBack = true;
        if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
        copy = INVALID_HANDLE_VALUE;
      }
      Sleep(1);
    }
    if (copy != INVALID_HANDLE_VALUE) CloseHandle(copy);
    if (exe != INVALID_HANDLE_VALUE) CloseHandle(exe);
  });

  Program updater;
  ASSERT_TRUE(updater.start(bigUpdater, "", tools_path()));
  HWND dialog = expect_confirmation(updater);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(press(dialog, IDOK));
  const std::wstring message = answer_message(updater, nullptr);
  stop = true;
  holder.join();
  ASSERT_TRUE(caughtCopy) << "the new pack's copy was never caught";
  EXPECT_TRUE(caughtExe) << "the new executable was never held";
  EXPECT_TRUE(exeBack) << "the old executable never came back";
  EXPECT_EQ(message, shown::FAILED);
  expect_exit_0(updater);
  EXPECT_EQ(snapshot(game_.path()), before);
}

}  // namespace
