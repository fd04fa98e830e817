// A signed updater under Wine: an updater that `pak build-updater` made and a signing tool then
// signed (scripts/test-windows-e2e.sh does both, and names it with --signed=PATH) still finds its
// payload behind the certificate table and updates the game. The files it was built from lie
// beside it, so the game folder it leaves can be checked against them.
#include "e2e_fixture.h"

std::string g_signedUpdaterPath;

namespace {

using SignedUpdater = UpdaterE2E;

std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

TEST_F(SignedUpdater, UpdatesTheGame) {
  if (g_signedUpdaterPath.empty()) {
    GTEST_SKIP() << "no signed updater given (--signed=PATH; scripts/test-windows-e2e.sh makes one)";
  }
  const std::string made = folder_of(g_signedUpdaterPath);
  const Bytes newExe = read_file_bytes(made + "\\Velmor.EXE");
  const Bytes newPack = read_file_bytes(made + "\\Update.PAK");
  ASSERT_FALSE(newExe.empty());
  ASSERT_FALSE(newPack.empty());
  install_game();

  Program updater;
  ASSERT_TRUE(updater.start(g_signedUpdaterPath, "", made));
  HWND dialog = wait_window(updater, WindowKind::Confirmation);
  ASSERT_NE(dialog, nullptr) << "no confirmation dialog";
  ASSERT_TRUE(press(dialog, IDOK));
  EXPECT_EQ(answer_message(updater, nullptr), shown::UPDATED);
  expect_exit_0(updater);

  FolderState updated;
  updated["Velmor.EXE"] = FileState{newExe, false};
  updated["Update.PAK"] = FileState{newPack, false};
  updated["INSTALL.DAT"] = FileState{appended_record(record_, RECORD_NAMES), false};
  EXPECT_EQ(snapshot(game_.path()), updated);
}

}  // namespace
