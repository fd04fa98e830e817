// Unattended runs ("/S") and the support log: every outcome's exit code with nothing shown, the
// log's lines (the file, the step and the system error of a failure), its default place outside
// the game folder, its cap, bad arguments, and the real Linux updater run as a script runs it.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/exit_code.h"
#include "app/interrupted_run.h"
#include "app/update_log.h"
#include "app/update_options.h"
#include "support/host_override.h"
#include "update_fixture.h"

namespace {

std::string text_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(UpdateOptions, FormsAndRefusals) {
  const struct {
    std::vector<const char*> args;
    bool ok;
    bool silent, log, dir;
    const char* folder;
    const char* logPath;
  } cases[] = {
      {{}, true, false, false, false, "", ""},
      {{"/S"}, true, true, false, false, "", ""},
      {{"/s", "/log"}, true, true, true, false, "", ""},
      {{"--silent", "--dir=C:\\Games\\Velmor", "--LOG=/tmp/u.log"}, true, true, true, true, "C:\\Games\\Velmor", "/tmp/u.log"},
      {{"/DIR=\"C:\\Program Files\\Velmor\"", "/SILENT"}, true, true, false, true, "C:\\Program Files\\Velmor", ""},
      {{"/Log=\"x.log\""}, true, false, true, false, "", "x.log"},
      {{"/Q"}, false, false, false, false, "", ""},
      {{"S"}, false, false, false, false, "", ""},
      {{"-s"}, false, false, false, false, "", ""},
      {{"--s"}, false, false, false, false, "", ""},
      {{"/S=1"}, false, false, false, false, "", ""},
      {{"/DIR"}, false, false, false, false, "", ""},
      {{"/DIR="}, false, false, false, false, "", ""},
      {{"/DIR=\"\""}, false, false, false, false, "", ""},
      {{"/DIR=\"C:\\a"}, false, false, false, false, "", ""},
      {{"/DIR=a", "/DIR=b"}, false, false, false, false, "", ""},
      {{"/S", "/S"}, false, false, false, false, "", ""},
      {{"/LOG", "/LOG=x"}, false, false, false, false, "", ""},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const char* a : c.args) shown += std::string(a) + " ";
    SCOPED_TRACE(shown);
    UpdateOptions o;
    char error[OPTION_ERROR_ROOM];
    const int r = UpdateOptionsParse(int(c.args.size()), c.args.data(), &o, error);
    EXPECT_EQ(r == 0, c.ok) << error;
    if (!c.ok) {
      EXPECT_NE(std::string(error).find(c.args.back()), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(o.silent, c.silent);
    EXPECT_EQ(o.log, c.log);
    EXPECT_EQ(o.hasFolder, c.dir);
    EXPECT_STREQ(o.folder, c.folder);
    EXPECT_STREQ(o.logPath, c.logPath);
  }
  const std::string tooLong = "/DIR=" + std::string(OPTION_PATH_ROOM, 'x');
  const char* one[] = {tooLong.c_str()};
  UpdateOptions o;
  char error[OPTION_ERROR_ROOM];
  EXPECT_EQ(UpdateOptionsParse(1, one, &o, error), -1);
  EXPECT_LT(std::strlen(error), OPTION_ERROR_ROOM);
}

class UnattendedTest : public UpdateTest {
 protected:
  // An unattended run with the log at log_, the folder given; returns the exit code.
  int run_silent(const std::string& folder) {
    UpdateOptions o{};
    o.silent = o.log = o.hasFolder = true;
    std::snprintf(o.folder, sizeof o.folder, "%s", folder.c_str());
    std::snprintf(o.logPath, sizeof o.logPath, "%s", log_.c_str());
    testing::internal::CaptureStdout();
    const int code = UpdaterRun(nullptr, nullptr, 0, o);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "an unattended run shows nothing";
    return code;
  }
  TempDir logs_;
  std::string log_ = logs_.join("update.log");
};

TEST_F(UnattendedTest, EveryOutcomeHasItsExitCode) {
  const struct {
    const char* what;
    int code;
  } cases[] = {{"updated", 0}, {"already", 10}, {"newer", 11}, {"damaged payload", 20},
               {"no game", 22}, {"running", 23}, {"folder busy", 24}, {"failed", 30},
               {"disk full", 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    next_case();
    build_updater();
    const std::string what = c.what;
    if (what == "already" || what == "newer") {
      ASSERT_TRUE(write_file_bytes(game("Update.PAK"), pak_fixture_bytes(archive('@', {member(
          what == "already" ? "Update01.txt" : "Update02.txt", "x")}))));
    }
    if (what == "damaged payload") build_updater({}, "VelmorUpdate.exe", 'A');
    if (what == "no game") std::filesystem::remove(game("Velmor.EXE"));
    if (what == "disk full") {
      // Writes of more than a few bytes find the disk full.
      host_override(&HostOps::write, +[](HostHandle h, const void* b, int32_t n) -> int32_t {
        if (n > 200) {
          errno = ENOSPC;
          return 0;
        }
        return g_hostDefaultOps.write(h, b, n);
      });
    }
    const FolderState before = snapshot(game_.path());
    HostHandle lock = HOST_INVALID_HANDLE;
    if (what == "folder busy") lock = FolderLockTake(game_.path().c_str());
    const int held = what == "running" ? ::open(game("Velmor.EXE").c_str(), O_RDONLY) : -1;
    if (what == "running") {
      host_override(&HostOps::busy, +[](const char* path) {
        return std::strstr(path, "Velmor.EXE") != nullptr ? 1 : g_hostDefaultOps.busy(path);
      });
    }
    if (what == "failed") {
      // The new copies cannot be made: permission refused.
      host_override(&HostOps::create, +[](const char* path, uint32_t attributes) -> HostHandle {
        if (std::strstr(path, ".~new") != nullptr) {
          errno = EACCES;
          return HOST_INVALID_HANDLE;
        }
        return g_hostDefaultOps.create(path, attributes);
      });
    }
    EXPECT_EQ(run_silent(game_.path()), c.code);
    host_restore_all();
    if (held >= 0) ::close(held);
    if (lock != HOST_INVALID_HANDLE) FolderLockRelease(game_.path().c_str(), lock);
    if (c.code != 0) {
      EXPECT_EQ(snapshot(game_.path()), before);
    }
    const std::string log = text_of(log_);
    EXPECT_NE(log.find("exit code " + std::to_string(c.code)), std::string::npos) << log;
    if (what == "failed") {
      EXPECT_NE(log.find("FAILED making the new copy: " + game("INSTALL.DAT.~new0")), std::string::npos) << log;
      EXPECT_NE(log.find("(system error 13: Permission denied)"), std::string::npos) << log;
    }
    if (what == "disk full") {
      EXPECT_NE(log.find("FAILED writing the new copy of: " + game("Velmor.EXE")), std::string::npos) << log;
      EXPECT_NE(log.find("(system error 28: No space left on device)"), std::string::npos) << log;
    }
    if (what == "running") {
      // The program holding the executable is named (here this test's own process).
      EXPECT_NE(log.find("(held by tests_app (process "), std::string::npos) << log;
    }
    if (what == "updated") {
      EXPECT_NE(log.find("swap: the new copy in place: " + game("Update.PAK")), std::string::npos) << log;
    }
    std::filesystem::remove(log_);
  }
}

TEST_F(UnattendedTest, TheLogIsCappedAndAppendedAndHasADefaultPlaceOutsideTheGame) {
  // Past its cap, the older half goes when the log is next opened.
  {
    std::ofstream big(log_, std::ios::binary);
    for (int i = 0; i < 40000; ++i) big << "old line " << i << " of an earlier run\n";
  }
  ASSERT_GT(std::filesystem::file_size(log_), size_t(UPDATE_LOG_CAP));
  install_game();
  build_updater();
  EXPECT_EQ(run_silent(game_.path()), 0);
  const std::string log = text_of(log_);
  EXPECT_LE(log.size(), size_t(UPDATE_LOG_CAP / 2 + 4096));
  EXPECT_EQ(log.find("old line 0 "), std::string::npos);
  EXPECT_NE(log.find("old line 39999 "), std::string::npos);
  EXPECT_EQ(log.rfind("exit code 0\n"), log.size() - std::strlen("exit code 0\n"));
  // The default place follows XDG_STATE_HOME.
  TempDir state;
  setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  ASSERT_EQ(UpdateLogOpen(""), 0);
  EXPECT_EQ(std::string(UpdateLogPath()), state.join("velmor/update.log"));
  UpdateLogClose();
  unsetenv("XDG_STATE_HOME");
}

#ifdef VELMOR_UPDATE_PATH
TEST_F(UnattendedTest, TheRealUpdaterAsAScriptRunsIt) {
  install_game();
  const Bytes payload = pak_fixture_bytes(archive(
      '#', {packed_member("#:\\Velmor.EXE", newExe_), packed_member("#:\\Update.PAK", newPack_)}, true));
  const std::string updater = tools_.join("VelmorUpdate.exe");
  ASSERT_TRUE(write_file_bytes(updater, pak_fixture_append(read_file_bytes(VELMOR_UPDATE_PATH), payload)));
  std::filesystem::permissions(updater, std::filesystem::perms::owner_all);
  TempDir runtime;
  const auto run = [&](const std::string& args, std::string* out, std::string* err) {
    const std::string o = logs_.join("out"), e = logs_.join("err");
    const std::string command = "XDG_RUNTIME_DIR='" + runtime.path() + "' '" + updater + "' " + args +
                                " </dev/null >'" + o + "' 2>'" + e + "'";
    const int status = std::system(command.c_str());
    *out = text_of(o);
    *err = text_of(e);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string out, err;
  EXPECT_EQ(run("/Q", &out, &err), 2);
  EXPECT_NE(err.find("/Q"), std::string::npos) << err;
  EXPECT_EQ(run("/S /WHAT /LOG='" + log_ + "'", &out, &err), 2);
  EXPECT_EQ(out + err, "");
  EXPECT_NE(text_of(log_).find("/WHAT"), std::string::npos);
  EXPECT_EQ(run("/S \"/DIR=" + game_.path() + "\" --log='" + log_ + "'", &out, &err), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(snapshot(game_.path()), updated_state());
  EXPECT_EQ(run("--silent --dir='" + game_.path() + "'", &out, &err), 10);
  // Without /S the exit code stays 0 whatever happens (no answer: cancelled).
  EXPECT_EQ(run("/DIR=/nowhere", &out, &err), 0);
}
#endif

}  // namespace
