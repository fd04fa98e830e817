// The volume flush of an update: made once, after the last new copy took its file's name and
// before any backup goes (a rename may reach the disk only with the volume's next flush); a
// volume that cannot be flushed (a network share) does not fail the update.
#include <string>
#include <vector>

#include "support/host_override.h"
#include "update_fixture.h"

namespace {

std::vector<std::string> g_calls;  // "replace <target>", "flush volume", "remove <path>"
int g_flushResult = 0;

int recorded_replace(const char* from, const char* to) {
  g_calls.push_back(std::string("replace ") + to);
  return g_hostDefaultOps.replace(from, to);
}
int recorded_remove(const char* path) {
  g_calls.push_back(std::string("remove ") + path);
  return g_hostDefaultOps.remove(path);
}
int recorded_flush_volume(const char* path) {
  g_calls.push_back("flush volume");
  return g_flushResult == 0 ? g_hostDefaultOps.flush_volume(path) : g_flushResult;
}

bool ends_with(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

TEST_F(UpdateTest, TheVolumeIsFlushedAfterTheLastSwapAndBeforeTheBackupsGo) {
  for (const int flushResult : {0, -1}) {
    SCOPED_TRACE(flushResult);
    next_case();
    build_updater();
    g_calls.clear();
    g_flushResult = flushResult;
    host_override(&HostOps::replace, recorded_replace);
    host_override(&HostOps::remove, recorded_remove);
    host_override(&HostOps::flush_volume, recorded_flush_volume);
    RunUpdate();
    host_restore_all();
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    EXPECT_EQ(snapshot(game_.path()), updated_state());

    size_t flushAt = g_calls.size(), lastSwap = 0, firstBackupGone = g_calls.size();
    int flushes = 0;
    for (size_t i = 0; i < g_calls.size(); ++i) {
      const std::string& c = g_calls[i];
      if (c == "flush volume") {
        ++flushes;
        flushAt = i;
      } else if (c.rfind("replace ", 0) == 0 && ends_with(c, "Update.PAK")) {
        lastSwap = i;
      } else if (c.rfind("remove ", 0) == 0 && c.find(".~old") != std::string::npos &&
                 firstBackupGone == g_calls.size()) {
        firstBackupGone = i;
      }
    }
    EXPECT_EQ(flushes, 1);
    EXPECT_GT(flushAt, lastSwap);
    EXPECT_LT(flushAt, firstBackupGone);
  }
}

}  // namespace
