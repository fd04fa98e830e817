// The game settings lookup on Windows (under Wine): the settings file in the Windows folder and
// the player's VirtualStore copy of it, which a game without a manifest reads instead; a drive
// letter that only the player maps, taken as the share it stands for; and the game files of a
// folder that the player's VirtualStore holds copies of.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/app_state.h"
#include "app/updater.h"
#include "app/virtual_store.h"
#include "host/host.h"
#include "platform/player_session.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class GameSettingsWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_process_state();
    char windows[MAX_PATH];
    ASSERT_NE(host_windows_dir(windows, sizeof windows), 0u);
    real_ = std::string(windows) + "\\VELMOR.INI";
    char store[MAX_PATH];
    ASSERT_NE(PlayerVirtualStore(store, sizeof store), 0u);
    store_ = store;
    // The Windows folder's copy keeps its path below the drive: "<store>\windows\VELMOR.INI".
    stored_ = store_ + (real_.c_str() + 2);
    keep(real_, keptReal_);
    keep(stored_, keptStored_);
  }
  void TearDown() override {
    put_back(real_, keptReal_);
    put_back(stored_, keptStored_);
    reset_process_state();
  }

  // A settings file that names folder, or none when folder is null.
  static void write_settings(const std::string& path, const char* folder) {
    std::error_code ignored;
    fs::remove(path, ignored);
    if (folder == nullptr) return;
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(write_file_bytes(path, bytes_of(std::string("[INI]\r\nGAMEDIR=") + folder + "\r\n")));
  }
  // A game folder under the temporary one, with the game executable or without.
  std::string game_folder(const std::string& name, bool withGame) {
    const std::string folder = dir_.join(name);
    fs::create_directories(folder);
    if (withGame) {
      EXPECT_TRUE(write_file_bytes(folder + "\\Velmor.EXE", bytes_of("game")));
    }
    return folder;
  }

  std::string real_, store_, stored_;
  TempDir dir_;

 private:
  static void keep(const std::string& path, Bytes& kept) {
    kept = fs::exists(path) ? read_file_bytes(path) : Bytes{};
  }
  static void put_back(const std::string& path, const Bytes& kept) {
    std::error_code ignored;
    if (kept.empty()) {
      fs::remove(path, ignored);
    } else {
      write_file_bytes(path, kept);
    }
  }
  Bytes keptReal_, keptStored_;
};

TEST_F(GameSettingsWin32Test, TheVirtualStoreCopyIsReadWithOrWithoutTheRealFile) {
  const std::string withGame = game_folder("with", true);
  const std::string other = game_folder("other", true);
  const std::string empty = game_folder("empty", false);
  const std::string alsoEmpty = game_folder("also-empty", false);
  const struct {
    const char* what;
    const char* real;
    const char* stored;
    std::string expected;
  } cases[] = {
      {"only the real file", withGame.c_str(), nullptr, withGame},
      {"only the copy", nullptr, withGame.c_str(), withGame},
      {"both, the same folder", withGame.c_str(), withGame.c_str(), withGame},
      {"the copy's folder holds the game", empty.c_str(), withGame.c_str(), withGame},
      {"only the real file's folder holds the game", withGame.c_str(), empty.c_str(), withGame},
      {"both folders hold it: the copy the game reads", other.c_str(), withGame.c_str(), withGame},
      {"neither holds it: the copy the game reads", empty.c_str(), alsoEmpty.c_str(), alsoEmpty},
      {"neither file", nullptr, nullptr, GAME_FOLDER_UNKNOWN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
    write_settings(real_, c.real);
    write_settings(stored_, c.stored);
    LoadGameSettings();
    EXPECT_EQ(std::string(gameFolder), c.expected);
  }
}

TEST_F(GameSettingsWin32Test, ADriveOnlyThePlayerMapsIsTakenAsItsShare) {
  // A letter this process has no drive for, mapped in the player's registry to a folder that
  // stands for the share.
  char letter = 0;
  for (char l = 'Q'; l <= 'Y' && letter == 0; ++l) {
    const char root[] = {l, ':', '\\', '\0'};
    if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter = l;
  }
  ASSERT_NE(letter, 0);
  const std::string share = game_folder("share", false);
  const std::string game = game_folder("share\\Games\\Velmor", true);
  const std::string key = std::string("Network\\") + letter;
  HKEY mapped = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &mapped, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(mapped, "RemotePath", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(share.c_str()), DWORD(share.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(mapped);

  char found[MAX_PATH];
  EXPECT_EQ(PlayerDriveShare(letter, found, sizeof found), share.size());
  EXPECT_EQ(std::string(found), share);
  EXPECT_EQ(PlayerDriveShare('C', found, sizeof found), 0u) << "a drive of this process's own";

  const std::string onDrive = std::string(1, letter) + ":\\Games\\Velmor";
  write_settings(real_, onDrive.c_str());
  write_settings(stored_, nullptr);
  LoadGameSettings();
  EXPECT_EQ(std::string(gameFolder), game);
  EXPECT_EQ(GameExeExists(gameFolder), 1);

  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  EXPECT_EQ(PlayerDriveShare(letter, found, sizeof found), 0u);
}

TEST_F(GameSettingsWin32Test, GameFilesTheVirtualStoreHoldsCopiesOf) {
  const std::string folder = game_folder("Program Files\\Velmor", true);
  char copyPath[WORK_PATH_ROOM];
  ASSERT_EQ(VirtualStorePath((folder + "\\Update.PAK").c_str(), copyPath, sizeof copyPath), 0);
  EXPECT_EQ(std::string(copyPath), store_ + (folder.c_str() + 2) + "\\Update.PAK");
  EXPECT_EQ(VirtualStorePath("\\\\server\\share\\Update.PAK", copyPath, sizeof copyPath), -1);

  VirtualStoreCopies copies;
  EXPECT_EQ(FindVirtualStoreCopies(folder.c_str(), &copies), 0);
  const std::string copiesFolder = store_ + (folder.c_str() + 2);
  fs::create_directories(copiesFolder + "\\Velmor.EXE");  // a folder is no copy
  ASSERT_TRUE(write_file_bytes(copiesFolder + "\\INSTALL.DAT", bytes_of("the game's own")));
  ASSERT_TRUE(write_file_bytes(copiesFolder + "\\Update.PAK", bytes_of("an old pack")));
  ASSERT_TRUE(write_file_bytes(copiesFolder + "\\SAVE01.DAT", bytes_of("not replaced")));
  EXPECT_EQ(FindVirtualStoreCopies(folder.c_str(), &copies), 2);
  EXPECT_EQ(std::string(copies.paths[0]), copiesFolder + "\\Update.PAK");
  EXPECT_EQ(std::string(copies.paths[1]), copiesFolder + "\\INSTALL.DAT");
  std::error_code ignored;
  fs::remove_all(copiesFolder, ignored);
}

}  // namespace
