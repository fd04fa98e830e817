// The real Linux updater killed (SIGKILL, through strace's fault injection) at each rename of
// its commit: the game folder still holds a game that starts; started again and cancelled, it
// leaves the folder wholly old or wholly new; and the next run reports the update done with the
// folder exactly as a clean update leaves it. A second updater of the folder from another login
// session touches nothing.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/interrupted_run.h"
#include "update_fixture.h"
#include "wine_prefix.h"

#ifdef VELMOR_UPDATE_PATH

namespace {

constexpr char UPDATED[] = "更新完成 !";

class UpdateKillTest : public UpdateTest {
 protected:
  // The Linux updater with the payload appended, named as the updater finds its archive.
  void build_real_updater() {
    const Bytes payload = pak_fixture_bytes(archive(
        '#', {packed_member("#:\\Velmor.EXE", newExe_), packed_member("#:\\Update.PAK", newPack_)},
        true));
    updater_ = tools_.join("VelmorUpdate.exe");
    ASSERT_TRUE(write_file_bytes(updater_, pak_fixture_append(read_file_bytes(VELMOR_UPDATE_PATH), payload)));
    chmod(updater_.c_str(), 0755);
  }

  // Runs the updater answering OK (or cancelling: no answer at all), under the given prefix
  // command; returns what it printed.
  std::string run(const std::string& prefix, bool ok = true) {
    const std::string answer = ok ? "echo ok | " : "</dev/null ";
    const std::string command = answer + "LANG=C.UTF-8 " + prefix + " '" + updater_ + "' 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return "";
    std::string text;
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
    pclose(out);
    return text;
  }

  WinePrefix prefix_;
  TempDir runtime_;
};

TEST_F(UpdateKillTest, KilledAtEachRenameTheNextRunFinishes) {
  if (system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  std::filesystem::create_directory_symlink(game_.path(), prefix_.driveC() + "/Velmor");
  ASSERT_TRUE(prefix_.write_settings("[INI]\r\nGAMEDIR=C:\\Velmor\r\n"));
  // The renames of the commit: the install record, the executable, the update pack.
  for (int nth = 1; nth <= 3; ++nth) {
    SCOPED_TRACE(testing::Message() << "killed at rename " << nth);
    install_game();
    for (const auto& entry : std::filesystem::directory_iterator(game_.path())) {
      if (entry.path().filename().string().find(".~") != std::string::npos) std::filesystem::remove(entry);
    }
    build_real_updater();
    const FolderState before = snapshot(game_.path());
    const std::string killed =
        run("strace -f -o /dev/null -e trace=rename -e inject=rename:signal=KILL:when=" + std::to_string(nth));
    EXPECT_EQ(killed.find(UPDATED), std::string::npos);
    const FolderState after = snapshot(game_.path());
    ASSERT_EQ(after.count("Velmor.EXE"), 1u);
    const bool newPack = after.count("Update.PAK") != 0 && after.at("Update.PAK").bytes == newPack_;
    EXPECT_FALSE(newPack && after.at("Velmor.EXE").bytes != newExe_);

    run("", false);
    const FolderState cancelled = snapshot(game_.path());
    EXPECT_TRUE(cancelled == before || cancelled == updated_state()) << "mixed after Cancel";

    EXPECT_NE(run("").find(UPDATED), std::string::npos);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
  }
}

TEST_F(UpdateKillTest, ASecondUpdaterFromAnotherSessionTouchesNothing) {
  setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);  // not the session of the holder
  std::filesystem::create_directory_symlink(game_.path(), prefix_.driveC() + "/Velmor");
  ASSERT_TRUE(prefix_.write_settings("[INI]\r\nGAMEDIR=C:\\Velmor\r\n"));
  install_game();
  build_real_updater();
  const FolderState before = snapshot(game_.path());
  // Another user's updater holds the folder (this process, through the same lock).
  const HostHandle held = FolderLockTake(game_.path().c_str());
  ASSERT_GE(held, 0);
  EXPECT_EQ(run("").find(UPDATED), std::string::npos);
  FolderLockRelease(game_.path().c_str(), held);
  EXPECT_EQ(snapshot(game_.path()), before);
  EXPECT_NE(run("").find(UPDATED), std::string::npos);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

}  // namespace

#endif  // VELMOR_UPDATE_PATH
