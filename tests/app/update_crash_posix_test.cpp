// The update stopped dead at the entry of every call that changes the disk, one at a time (a
// forked child whose host table ends the process there, as a kill would), on folders that take
// hard links and on folders that do not: the folder it leaves always holds a game that starts
// and a new pack never sits beside an old executable; a start that the player then cancels
// leaves the folder wholly old or wholly new with nothing of the dead run in it; and the next
// run finishes the update.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "app/interrupted_run.h"
#include "app/updater.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

constexpr int KILLED = 77;

// Game folders to kill the update in.
enum class Shape { Plain, ReadOnlyExe, NoPack, NoExe };

class UpdateCrashTest : public UpdateTest {
 protected:
  void make_folder(Shape shape) {
    next_case();
    if (shape == Shape::ReadOnlyExe) set_read_only(game("Velmor.EXE"), true);
    if (shape == Shape::NoPack) std::filesystem::remove(game("Update.PAK"));
    if (shape == Shape::NoExe) std::filesystem::remove(game("Velmor.EXE"));
    build_updater();
    before_ = snapshot(game_.path());
  }

  // Runs the update in a child that dies at the nth disk change; true when it died there,
  // false when the run ended before (no nth change).
  bool run_killed_at(int nth, bool links) {
    const pid_t child = fork();
    if (child == 0) {
      HostFaults faults;
      if (!links) faults.fail_from(HostOp::Link, 1);
      faults.exit_at_change(nth, KILLED);
      RunUpdate();
      std::_Exit(0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == KILLED;
  }

  // What a dead run may leave: each game file old or new, the executable there whenever it was
  // there before, and the new pack only beside the new executable.
  void expect_game_starts() {
    const FolderState after = snapshot(game_.path());
    const FolderState updated = updated_state();
    for (const char* name : {"Velmor.EXE", "Update.PAK", "INSTALL.DAT"}) {
      const bool was = before_.count(name) != 0;
      if (after.count(name) == 0) {
        EXPECT_TRUE(!was) << name << " lost";
        continue;
      }
      const Bytes& now = after.at(name).bytes;
      EXPECT_TRUE((was && now == before_.at(name).bytes) || now == updated.at(name).bytes)
          << name << " is neither old nor new";
    }
    if (after.count("Update.PAK") != 0 && after.at("Update.PAK").bytes == newPack_) {
      ASSERT_EQ(after.count("Velmor.EXE"), 1u);
      EXPECT_EQ(after.at("Velmor.EXE").bytes, newExe_) << "the new pack beside the old executable";
    }
  }

  FolderState before_;
};

TEST_F(UpdateCrashTest, ADeathAtAnyDiskChangeThenCancelThenTheNextRunFinishes) {
  for (const bool links : {true, false})
  for (Shape shape : {Shape::Plain, Shape::ReadOnlyExe, Shape::NoPack, Shape::NoExe}) {
    int deaths = 0;
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(testing::Message() << "shape " << int(shape) << (links ? "" : ", no hard links")
                                      << ", killed at change " << nth);
      make_folder(shape);
      if (!run_killed_at(nth, links)) break;
      ++deaths;
      expect_game_starts();
      // Started again and cancelled: what start-up does before the dialog asks.
      RecoverAtStartUp(gameFolder);
      const FolderState cancelled = snapshot(game_.path());
      EXPECT_TRUE(cancelled == before_ || cancelled == updated_state())
          << "neither wholly old nor wholly new after a cancelled start";
      RunUpdate();
      EXPECT_TRUE(updateResult == RESULT_UPDATED || updateResult == RESULT_ALREADY_UPDATED)
          << updateResult;
      EXPECT_EQ(snapshot(game_.path()), updated_state());
      expect_nothing_open();
    }
    EXPECT_GT(deaths, 5);
  }
}

TEST_F(UpdateCrashTest, AFailureAtAnyCallOfTheRecoveryLeavesItForTheNextRun) {
  // Deaths at every third change, so that each state of the journal is met; then the run that
  // finds the journal meets a failed call, one at a time, in its recovery and after it.
  int sweeps = 0;
  for (int nth = 2;; nth += 3) {
    make_folder(Shape::ReadOnlyExe);
    if (!run_killed_at(nth, true)) break;
    const std::string dead = game_.path() + ".dead";
    std::filesystem::remove_all(dead);
    std::filesystem::copy(game_.path(), dead);
    std::array<int, size_t(HostOp::Count)> clean{};
    {
      HostFaults faults;
      RunUpdate();
      for (size_t op = 0; op < clean.size(); ++op) clean[op] = faults.calls(HostOp(op));
    }
    for (size_t op = 0; op < clean.size(); ++op) {
      if (HostOp(op) == HostOp::FindClose || HostOp(op) == HostOp::Free) continue;
      for (int n = 1; n <= clean[op]; ++n) {
        SCOPED_TRACE(testing::Message() << "killed at change " << nth << ", operation " << op
                                        << " call " << n << " failed");
        std::filesystem::remove_all(game_.path());
        std::filesystem::copy(dead, game_.path());
        {
          HostFaults faults;
          faults.fail(HostOp(op), n);
          RunUpdate();
        }
        expect_game_starts();
        RunUpdate();
        EXPECT_EQ(snapshot(game_.path()), updated_state());
        ++sweeps;
      }
    }
    std::filesystem::remove_all(dead);
  }
  EXPECT_GT(sweeps, 100);
}

}  // namespace
