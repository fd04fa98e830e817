// A delta updater under Wine, made by the pak tool as a publisher makes it (`--base` naming the
// version the players have): on the game it was made from, the update rebuilds the new files
// from the player's own and leaves exactly the new files; on a game file that is not that
// version it shows the game-files message and changes nothing.
#include <windows.h>

#include "e2e_fixture.h"

namespace {

// Bytes that do not pack away, so that the tool finds a delta smaller than the whole file.
Bytes noise(size_t length, uint32_t seed) {
  Bytes b(length);
  for (uint8_t& x : b) x = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
  return b;
}

class DeltaUpdater : public UpdaterE2E {
 protected:
  void SetUp() override {
    UpdaterE2E::SetUp();
    oldExe_ = noise(96 << 10, 7);
    newExe_ = oldExe_;
    for (size_t i = 0; i < newExe_.size(); i += 9973) newExe_[i] ^= 0x5A;  // scattered changes
    const Bytes data = noise(128 << 10, 11);
    oldPack_ = pak_fixture_bytes(archive('@', {FixtureMember{"Data.bin", data, false, 0}}));
    newPack_ = pak_fixture_bytes(archive(
        '@', {FixtureMember{"Data.bin", data, false, 0}, member("Update01.txt", "1")}));
  }

  void install_old() {
    install_game();
    ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), oldExe_));
    ASSERT_TRUE(write_file_bytes(game("Update.PAK"), oldPack_));
  }

  // The delta updater, made from the old files as base: its path, or empty.
  std::string build() {
    const std::string root = tools_path() + "\\delta";
    const std::string base = root + "\\base", next = root + "\\new";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA(next.c_str(), nullptr);
    EXPECT_TRUE(write_file_bytes(base + "\\Velmor.EXE", oldExe_));
    EXPECT_TRUE(write_file_bytes(base + "\\Update.PAK", oldPack_));
    EXPECT_TRUE(write_file_bytes(next + "\\Velmor.EXE", newExe_));
    EXPECT_TRUE(write_file_bytes(next + "\\Update.PAK", newPack_));
    const std::string out = root + "\\DeltaUpdate.exe";
    const std::string arguments = "build-updater --stub \"" + g_stubPath + "\" --game-exe \"" +
                                  next + "\\Velmor.EXE\" --pack \"" + next +
                                  "\\Update.PAK\" --base \"" + base + "\" -o \"" + out + "\"";
    Program pak;
    DWORD code = 1;
    EXPECT_TRUE(pak.start(g_pakPath, arguments) && pak.wait_end(&code));
    EXPECT_EQ(code, 0u) << arguments;
    // Deltas only: far smaller than the new files.
    const Bytes built = read_file_bytes(out);
    EXPECT_LT(built.size(), read_file_bytes(g_stubPath).size() + newExe_.size() / 4);
    return code == 0 ? out : "";
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

  Bytes oldExe_, newExe_, oldPack_, newPack_;
};

TEST_F(DeltaUpdater, TheVersionItWasMadeFromIsUpdated) {
  install_old();
  const std::string updaterPath = build();
  ASSERT_FALSE(updaterPath.empty());
  EXPECT_EQ(run_to_message(updaterPath), shown::UPDATED);
  EXPECT_EQ(read_file_bytes(game("Velmor.EXE")), newExe_);
  EXPECT_EQ(read_file_bytes(game("Update.PAK")), newPack_);
  EXPECT_EQ(read_file_bytes(game("INSTALL.DAT")), updated_state().at("INSTALL.DAT").bytes);
}

TEST_F(DeltaUpdater, AnotherVersionIsLeftAsItWas) {
  install_old();
  const std::string updaterPath = build();
  ASSERT_FALSE(updaterPath.empty());
  Bytes exe = oldExe_;
  exe[exe.size() / 2] ^= 1;
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), exe));
  const FolderState before = snapshot(game_.path());
  EXPECT_EQ(run_to_message(updaterPath), shown::GAME_FILES_BAD);
  EXPECT_EQ(snapshot(game_.path()), before);
}

}  // namespace
