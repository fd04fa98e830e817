// A delta updater under Wine, made by the pak tool as a publisher makes it (`--base` naming the
// version the players have): on the game it was made from, the update rebuilds the new files
// from the player's own and leaves the folder exactly as a whole-file updater does; on a game
// file that is not that version it shows the game-files message and changes nothing.
#include <windows.h>

#include "e2e_fixture.h"

namespace {

class DeltaUpdater : public UpdaterE2E {
 protected:
  // The delta updater, built once the first test asks for it: the base folder holds the files
  // install_game writes.
  const std::string& delta_updater() {
    static std::string path;
    if (!path.empty()) return path;
    const std::string base = tools_path() + "\\base";
    CreateDirectoryA(base.c_str(), nullptr);
    install_game();
    EXPECT_TRUE(CopyFileA(game("Velmor.EXE").c_str(), (base + "\\Velmor.EXE").c_str(), FALSE));
    EXPECT_TRUE(CopyFileA(game("Update.PAK").c_str(), (base + "\\Update.PAK").c_str(), FALSE));
    const std::string out = tools_path() + "\\DeltaUpdate.exe";
    const std::string arguments = "build-updater --stub \"" + g_stubPath + "\" --game-exe \"" +
                                  tools_path() + "\\Velmor.EXE\" --pack \"" + tools_path() +
                                  "\\Update.PAK\" --base \"" + base + "\" -o \"" + out + "\"";
    Program pak;
    DWORD code = 1;
    EXPECT_TRUE(pak.start(g_pakPath, arguments) && pak.wait_end(&code));
    EXPECT_EQ(code, 0u) << arguments;
    if (code == 0) path = out;
    return path;
  }

  std::wstring run_to_message(const std::string& updaterPath) {
    Program updater;
    if (!updater.start(updaterPath, "", tools_path())) return L"(did not start)";
    HWND dialog = expect_confirmation(updater);
    if (dialog == nullptr || !press(dialog, IDOK)) return L"(no dialog)";
    const std::wstring message = answer_message(updater, nullptr);
    expect_exit_0(updater);
    return message;
  }
};

TEST_F(DeltaUpdater, TheVersionItWasMadeFromIsUpdated) {
  const std::string updaterPath = delta_updater();
  ASSERT_FALSE(updaterPath.empty());
  install_game();
  EXPECT_EQ(run_to_message(updaterPath), shown::UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(DeltaUpdater, AnotherVersionIsLeftAsItWas) {
  const std::string updaterPath = delta_updater();
  ASSERT_FALSE(updaterPath.empty());
  install_game();
  Bytes exe = read_file_bytes(game("Velmor.EXE"));
  exe[exe.size() / 2] ^= 1;
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), exe));
  const FolderState before = snapshot(game_.path());
  EXPECT_EQ(run_to_message(updaterPath), shown::GAME_FILES_BAD);
  EXPECT_EQ(snapshot(game_.path()), before);
}

}  // namespace
