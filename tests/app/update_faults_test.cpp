// Host failures injected into every call of a successful update, one at a time: the game
// folder is either exactly as it was (RESULT_FAILED) or fully updated, never in between, and
// nothing stays open or behind.
#include <filesystem>

#include "app/updater.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

// What a failure of one call of an operation does to a run that would succeed.
enum class Outcome {
  Fails,     // every such failure ends the run with RESULT_FAILED
  Either,    // some end it, some are absorbed and the update completes
  Absorbed,  // none stops the update
};

struct OpCase {
  HostOp op;
  const char* name;
  Outcome outcome;
};

// Failures absorbed on purpose: an archive index that cannot be built (lookups go without it),
// an attribute change (the move or delete that follows finds out whether it mattered), the
// removal of a later backup once the first is gone (retried; the replacement then stands).
constexpr OpCase OPS[] = {
    {HostOp::Open, "open", Outcome::Fails},
    {HostOp::Create, "create", Outcome::Fails},
    {HostOp::Read, "read", Outcome::Fails},
    {HostOp::Write, "write", Outcome::Fails},
    {HostOp::Seek, "seek", Outcome::Fails},
    {HostOp::Size, "size", Outcome::Fails},
    {HostOp::Flush, "flush", Outcome::Fails},
    {HostOp::Move, "move", Outcome::Fails},
    {HostOp::Remove, "remove", Outcome::Either},
    {HostOp::Alloc, "alloc", Outcome::Either},
    {HostOp::SetAttributes, "set attributes", Outcome::Absorbed},
};

class UpdateFaultsTest : public UpdateTest {
 protected:
  // One run on a fresh game folder; the failure is planned by plan.
  template <typename Plan>
  void run_once(Plan plan) {
    TearDown();
    SetUp();
    install_game();
    set_read_only(game("Velmor.EXE"), true);
    build_updater();
    before_ = snapshot(game_.path());
    HostFaults faults;
    plan(faults);
    RunUpdate();
  }

  void expect_all_or_nothing(bool mustFail) {
    expect_nothing_open();
    const FolderState after = snapshot(game_.path());
    if (updateResult == RESULT_UPDATED && !mustFail) {
      EXPECT_EQ(after, updated_state());
    } else {
      EXPECT_EQ(updateResult, RESULT_FAILED);
      EXPECT_EQ(after, before_);
    }
  }

  FolderState before_;
};

TEST_F(UpdateFaultsTest, EveryFailedCallLeavesTheFolderWholeOrUpdated) {
  // Count the calls of a clean run.
  int clean[size_t(HostOp::Count)] = {};
  {
    TearDown();
    SetUp();
    install_game();
    set_read_only(game("Velmor.EXE"), true);
    build_updater();
    HostFaults faults;
    RunUpdate();
    ASSERT_EQ(updateResult, RESULT_UPDATED);
    for (const OpCase& c : OPS) clean[size_t(c.op)] = faults.calls(c.op);
  }
  for (const OpCase& c : OPS) {
    ASSERT_GT(clean[size_t(c.op)], 0) << c.name;
    int failedRuns = 0;
    for (int n = 1; n <= clean[size_t(c.op)]; ++n) {
      SCOPED_TRACE(testing::Message() << c.name << " call " << n);
      run_once([&](HostFaults& f) { f.fail(c.op, n); });
      expect_all_or_nothing(c.outcome == Outcome::Fails);
      if (updateResult == RESULT_FAILED) ++failedRuns;
    }
    if (c.outcome == Outcome::Either) {
      EXPECT_GT(failedRuns, 0) << c.name;
      EXPECT_LT(failedRuns, clean[size_t(c.op)]) << c.name;
    }
    if (c.outcome == Outcome::Absorbed) {
      EXPECT_EQ(failedRuns, 0) << c.name;
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
    run_once([&](HostFaults& f) { f.short_write(n, 1); });
    expect_all_or_nothing(true);
  }
}

TEST_F(UpdateFaultsTest, WithoutAnExecutableTheFirstOldFileRemovedIsStillUndone) {
  install_game();
  std::filesystem::remove(game("Velmor.EXE"));
  build_updater();
  before_ = snapshot(game_.path());
  {
    HostFaults faults;
    faults.fail(HostOp::Remove, 1);  // the old update pack's backup
    RunUpdate();
  }
  expect_all_or_nothing(true);
}

TEST_F(UpdateFaultsTest, FullDiskFromTheFirstWrite) {
  run_once([](HostFaults& f) { f.fail_from(HostOp::Write, 1); });
  expect_all_or_nothing(true);
}

}  // namespace
