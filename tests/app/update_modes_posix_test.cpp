// Permission bits of replaced game files on POSIX: the new file takes the old one's read, write
// and execute bits and never its set-user-ID, set-group-ID or sticky bit, whoever set them.
#include <sys/stat.h>

#include "update_fixture.h"

namespace {

mode_t mode_of(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(UpdateTest, SetIdAndStickyBitsAreNeverCarriedOver) {
  const struct {
    const char* name;
    mode_t before;
    mode_t after;
  } cases[] = {
      {"INSTALL.DAT", 04777, 0777},  // a group member's program made set-user-ID before the run
      {"Velmor.EXE", 02755, 0755},
      {"Update.PAK", 01640, 0640},
  };
  install_game();
  for (const auto& c : cases) ASSERT_EQ(chmod(game(c.name).c_str(), c.before), 0);
  build_updater();
  RunUpdate();
  ASSERT_EQ(updateResult, RESULT_UPDATED);
  for (const auto& c : cases) {
    EXPECT_EQ(mode_of(game(c.name)), c.after) << c.name;
  }
}

}  // namespace
