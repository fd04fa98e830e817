// The game settings lookup through a Wine prefix's Windows folder, and the game folder tests
// of the confirmation dialog.
#include <filesystem>

#include "app/updater.h"
#include "update_fixture.h"
#include "wine_prefix.h"

namespace {

// Settings files come from Windows: their lines end in CR LF.
std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class GameSettingsTest : public UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
  }
  WinePrefix prefix_;
};

TEST_F(GameSettingsTest, ReadsGameDirOfSectionIni) {
  const struct {
    const char* what;
    std::string text;
    std::string folder;
  } cases[] = {
      {"plain", "[INI]\nGAMEDIR=C:\\Velmor\n", "C:\\Velmor"},
      {"other letter case", "[ini]\ngamedir=C:\\Velmor\\\n", "C:\\Velmor\\"},
      {"among other keys and sections",
       "; settings\n[Video]\nGAMEDIR=D:\\Wrong\n[INI]\nLANG=950\nGAMEDIR=E:\\Games\\Velmor\n",
       "E:\\Games\\Velmor"},
      {"key outside the section", "GAMEDIR=D:\\Wrong\n[INI]\nLANG=950\n", GAME_FOLDER_UNKNOWN},
      {"no section", "[Video]\nGAMEDIR=D:\\Wrong\n", GAME_FOLDER_UNKNOWN},
      {"empty value", "[INI]\nGAMEDIR=\n", ""},
      {"value of 259 bytes", "[INI]\nGAMEDIR=" + std::string(259, 'v') + "\n", std::string(259, 'v')},
      {"value too long for the folder", "[INI]\nGAMEDIR=" + std::string(260, 'v') + "\n",
       GAME_FOLDER_UNKNOWN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
    ASSERT_TRUE(prefix_.write_settings(crlf(c.text)));
    LoadGameSettings();
    EXPECT_EQ(std::string(gameFolder), c.folder);
  }
}

TEST_F(GameSettingsTest, MissingSettingsFileKeepsTheUnknownFolder) {
  LoadGameSettings();
  EXPECT_STREQ(gameFolder, GAME_FOLDER_UNKNOWN);
  EXPECT_EQ(GameExeExists(gameFolder), 0);
}

TEST_F(GameSettingsTest, FolderThroughTheDriveLetterHoldsTheGame) {
  std::filesystem::create_directories(prefix_.driveC() + "/Velmor");
  ASSERT_TRUE(write_file_bytes(prefix_.driveC() + "/Velmor/velmor.exe", bytes_of("game")));
  ASSERT_TRUE(prefix_.write_settings(crlf("[INI]\nGAMEDIR=C:\\VELMOR\n")));
  LoadGameSettings();
  EXPECT_EQ(GameExeExists(gameFolder), 1);
}

TEST_F(GameSettingsTest, GameExeTests) {
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE"), bytes_of("game")));
  const std::string folder = game_.path();
  EXPECT_EQ(GameExeExists(folder.c_str()), 1);
  EXPECT_EQ(GameExeExists((folder + "\\").c_str()), 1);
  EXPECT_EQ(GameExeExists((folder + "/").c_str()), 1);
  EXPECT_EQ(GameExeExists((folder + "/nothing").c_str()), 0);
  EXPECT_EQ(GameExeExists(std::string(300, 'x').c_str()), 0);  // never built past its buffer
  EXPECT_EQ(FileExists(game("Velmor.EXE").c_str()), 1);
  EXPECT_EQ(FileExists(folder.c_str()), 0);  // a folder is no file
}

}  // namespace
