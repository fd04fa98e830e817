// The update against a game folder whose files the player's VirtualStore holds copies of (a
// game without a manifest, run unelevated, reads those instead): the run fails with nothing
// changed and the log names the copies; without copies it updates as ever.
#include <windows.h>

#include <filesystem>
#include <string>

#include "app/update_log.h"
#include "app/virtual_store.h"
#include "platform/player_session.h"
#include "update_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST_F(UpdateTest, CopiesTheGameReadsInTheVirtualStoreLeaveTheFolderAsItWas) {
  char store[MAX_PATH];
  ASSERT_NE(PlayerVirtualStore(store, sizeof store), 0u);
  // The copies' folder keeps the game folder's path below its drive.
  const std::string copies = std::string(store) + (game_.path().c_str() + 2);
  const std::string log = tools_.join("update.log");
  ASSERT_EQ(UpdateLogOpen(log.c_str()), 0);

  install_game();
  build_updater();
  fs::create_directories(copies);
  ASSERT_TRUE(write_file_bytes(copies + "\\Update.PAK", bytes_of("the pack the game reads")));
  const FolderState before = snapshot(game_.path());
  RunUpdate();
  UpdateLogClose();
  std::error_code ignored;
  fs::remove_all(copies, ignored);
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);
  const Bytes text = read_file_bytes(log);
  EXPECT_NE(std::string(text.begin(), text.end()).find("Update.PAK"), std::string::npos);

  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

}  // namespace
