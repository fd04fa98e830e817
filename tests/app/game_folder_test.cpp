// The game folder test on either platform: a folder holding the game executable is the game's
// only when every path the update makes in it fits, so a deep folder is refused up front
// rather than failing part way through the update.
#include <gtest/gtest.h>

#include <string>

#include "app/game_path.h"
#include "app/updater.h"
#include "host/host.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

namespace {

class GameFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }

  // A folder under the temporary one whose path is exactly length bytes, made of nested
  // folders; empty when it cannot be made.
  std::string folder_of_length(size_t length) {
    std::string path = dir_.path();
    if (path.size() + 2 > length) return "";
    while (path.size() < length) {
      const size_t left = length - path.size() - 1;  // after the separator
      // Components of at most 100 bytes; never leave a remainder too short for a name.
      size_t part = left > 100 ? 100 : left;
      if (left > 100 && left - part < 2) part -= 2;
      path += TempDir::kSeparator;
      path += std::string(part, char('a' + path.size() % 26));
      if (host_make_dir(path.c_str()) != 0 && host_get_attributes(path.c_str()) == HOST_NO_SUCH_FILE)
        return "";
    }
    return path;
  }

  TempDir dir_;
};

TEST_F(GameFolderTest, TheLongestNameTheUpdateMakesIsTheJournal) {
  // Longer than the side names ("INSTALL.DAT.~new9", 17) and the lock ("VelmorUpdate.lock").
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(GameFolderLongestName(name, sizeof name), 20u);
  EXPECT_STREQ(name, "VelmorUpdate.journal");
  EXPECT_EQ(GameFolderLongestName(name, 20), 0u);  // no room for its end
}

TEST_F(GameFolderTest, AFolderWithoutRoomForTheUpdatesNamesIsNotTheGames) {
  // Folder, separator and the 20-byte journal name take at most 259 bytes: 238 is the longest
  // folder.
  for (size_t length = 236; length <= 248; ++length) {
    SCOPED_TRACE(length);
    const std::string folder = folder_of_length(length);
    ASSERT_EQ(folder.size(), length);
    const std::string exe = folder + TempDir::kSeparator + "Velmor.EXE";
    ASSERT_TRUE(write_file_bytes(exe, bytes_of("game")));
    EXPECT_EQ(FileExists(exe.c_str()), 1);
    EXPECT_EQ(GameExeExists(folder.c_str()), length <= 238 ? 1 : 0);
    // With a trailing separator the same folder needs no more room.
    EXPECT_EQ(GameExeExists((folder + TempDir::kSeparator).c_str()), length <= 238 ? 1 : 0);
  }
}

}  // namespace
