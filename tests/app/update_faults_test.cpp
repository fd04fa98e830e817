// Host failures injected into every call of an update, one at a time, on several game folders:
// the game files are either exactly as they were or fully updated, never in between, nothing
// stays open, only a run that updated may leave a backup (and the journal naming it), files
// that merely look like an update's own are never touched, and the next run finishes the job.
#include <array>
#include <filesystem>

#include "app/updater.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

// Game folders the sweep runs on.
enum class Shape {
  Plain,        // as installed, the executable read-only
  Newer,        // the pack already holds the later update's marker: never updated
  LookAlikes,   // files named like an update's new copies and backups, but no journal
};

struct ShapeCase {
  Shape shape;
  const char* what;
};

constexpr ShapeCase SHAPES[] = {
    {Shape::Plain, "plain folder"},
    {Shape::Newer, "later update installed"},
    {Shape::LookAlikes, "look-alike names without a journal"},
};

// Names an update uses beside the game files, planted by someone else.
constexpr const char* LOOK_ALIKES[] = {"Velmor.EXE.~new0", "update.pak.~NEW0", "INSTALL.DAT.~old0",
                                       "Velmor.EXE.~old1", "Velmor.EXE.~newer"};

// Calls that cannot fail (a search's end, a release of memory) are not swept.
bool sweepable(HostOp op) { return op != HostOp::FindClose && op != HostOp::Free; }

bool is_game_file(const std::string& name) {
  return name == "Velmor.EXE" || name == "Update.PAK" || name == "INSTALL.DAT";
}

class UpdateFaultsTest : public UpdateTest {
 protected:
  void make_folder(Shape shape) {
    TearDown();
    SetUp();
    install_game();
    set_read_only(game("Velmor.EXE"), true);
    if (shape == Shape::Newer) {
      ASSERT_TRUE(write_file_bytes(game("Update.PAK"),
                                   pak_fixture_bytes(archive('@', {member("Update02.txt", "2")}))));
    }
    if (shape == Shape::LookAlikes) {
      for (const char* name : LOOK_ALIKES) ASSERT_TRUE(write_file_bytes(game(name), bytes_of(name)));
      set_read_only(game(LOOK_ALIKES[0]), true);
    }
    build_updater();
    before_ = snapshot(game_.path());
  }

  // One run on a fresh folder of the shape; the failure is planned by plan.
  template <typename Plan>
  void run_once(Shape shape, Plan plan) {
    make_folder(shape);
    HostFaults faults;
    plan(faults);
    RunUpdate();
  }

  // After a run with one failure: the game files updated (and only then RESULT_UPDATED) or as
  // they were; nothing else but leftovers the folder already had, or backups of this run.
  void expect_whole(Shape shape) {
    expect_nothing_open();
    const FolderState after = snapshot(game_.path());
    const bool updated = updateResult == RESULT_UPDATED;
    if (shape == Shape::Newer) {
      EXPECT_NE(updateResult, RESULT_UPDATED);
    } else if (!updated) {
      EXPECT_EQ(updateResult, RESULT_FAILED);
    }
    const FolderState game = updated ? updated_state() : before_;
    for (const auto& [name, state] : game) {
      if (!is_game_file(name)) continue;
      EXPECT_EQ(after.count(name) ? after.at(name) : FileState{}, state) << name;
    }
    for (const auto& [name, state] : after) {
      if (is_game_file(name)) continue;
      const bool leftover = before_.count(name) != 0 && before_.at(name) == state;
      const bool backup = name.find(".~old") != std::string::npos || name == "VelmorUpdate.journal";
      EXPECT_TRUE(leftover || (updated && backup)) << name << " left behind";
    }
  }

  // A clean run afterwards finishes the update, or finds it finished, and leaves nothing else.
  void expect_next_run_completes(Shape shape) {
    RunUpdate();
    if (shape == Shape::Newer) {
      EXPECT_EQ(updateResult, RESULT_NEWER_INSTALLED);
      EXPECT_EQ(snapshot(game_.path()), before_);
      return;
    }
    EXPECT_TRUE(updateResult == RESULT_UPDATED || updateResult == RESULT_ALREADY_UPDATED)
        << updateResult;
    FolderState expected = updated_state();
    if (shape == Shape::LookAlikes) {
      for (const char* name : LOOK_ALIKES) expected[name] = before_.at(name);
    }
    EXPECT_EQ(snapshot(game_.path()), expected);
  }

  FolderState before_;
};

TEST_F(UpdateFaultsTest, EveryFailedCallLeavesTheFolderWholeAndTheNextRunFinishes) {
  for (const ShapeCase& s : SHAPES) {
    // Count the calls of a clean run.
    std::array<int, size_t(HostOp::Count)> clean{};
    {
      make_folder(s.shape);
      HostFaults faults;
      RunUpdate();
      ASSERT_EQ(updateResult, s.shape == Shape::Newer ? RESULT_NEWER_INSTALLED : RESULT_UPDATED);
      for (size_t op = 0; op < clean.size(); ++op) clean[op] = faults.calls(HostOp(op));
    }
    for (size_t op = 0; op < clean.size(); ++op) {
      if (!sweepable(HostOp(op))) continue;
      for (int n = 1; n <= clean[op]; ++n) {
        SCOPED_TRACE(testing::Message() << s.what << ", operation " << op << " call " << n);
        run_once(s.shape, [&](HostFaults& f) { f.fail(HostOp(op), n); });
        expect_whole(s.shape);
        expect_next_run_completes(s.shape);
      }
    }
  }
}

TEST_F(UpdateFaultsTest, ShortWritesOfEveryWriteFail) {
  int writes = 0;
  {
    TearDown();
    SetUp();
    install_game();
    build_updater();
    HostFaults faults;
    RunUpdate();
    ASSERT_EQ(updateResult, RESULT_UPDATED);
    writes = faults.calls(HostOp::Write);
  }
  ASSERT_GT(writes, 0);
  for (int n = 1; n <= writes; ++n) {
    SCOPED_TRACE(testing::Message() << "write " << n);
    run_once(Shape::Plain, [&](HostFaults& f) { f.short_write(n, 1); });
    expect_whole(Shape::Plain);
    EXPECT_EQ(updateResult, RESULT_FAILED);
  }
}

TEST_F(UpdateFaultsTest, WithoutAnExecutableAFailedPackSwapTakesTheNewOneOutAgain) {
  install_game();
  std::filesystem::remove(game("Velmor.EXE"));
  build_updater();
  before_ = snapshot(game_.path());
  {
    HostFaults faults;
    faults.fail(HostOp::Replace, 3);  // the record, the executable, then the pack
    RunUpdate();
  }
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before_);
}

TEST_F(UpdateFaultsTest, FullDiskFromTheFirstWrite) {
  run_once(Shape::Plain, [](HostFaults& f) { f.fail_from(HostOp::Write, 1); });
  expect_whole(Shape::Plain);
  EXPECT_EQ(updateResult, RESULT_FAILED);
}

}  // namespace
