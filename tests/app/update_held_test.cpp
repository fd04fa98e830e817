// The update against a game file that another handle holds, on either platform: a hold that
// passes is waited out and the update succeeds; one that lasts the whole patience fails it
// with the folder as it was, also when it strikes part way and the way back meets a hold of
// its own; a refusal that is no hold is not waited on. The holds are real handles that share
// nothing, as a scanner's; the clock is virtual, so no test waits.
#include <functional>
#include <string>

#include "support/host_override.h"
#include "support/virtual_clock.h"
#include "update_fixture.h"

namespace {

// A step of the test run once, inside the host call it waits for: it gets the call's path (the
// target of a replace) and says whether it ran.
std::function<bool(const char*)> g_step;

void take_step(const char* path) {
  if (g_step && g_step(path)) g_step = nullptr;
}
int busy_after_step(const char* path) {
  take_step(path);
  return g_hostDefaultOps.busy(path);
}
int replace_after_step(const char* from, const char* to) {
  take_step(to);
  return g_hostDefaultOps.replace(from, to);
}

bool ends_with(const char* path, const char* name) {
  const std::string p(path), n(name);
  return p.size() >= n.size() && p.compare(p.size() - n.size(), n.size(), n) == 0;
}

class UpdateHeldTest : public UpdateTest {
 protected:
  void TearDown() override {
    g_step = nullptr;
    let_go();
    UpdateTest::TearDown();
  }

  // Holds a game file, shared with nobody, until the clock reaches a moment (0: until the
  // test lets go).
  void hold(VirtualClock& clock, const std::string& name, uint32_t until) {
    const HostHandle h = host_open(game(name).c_str(), HOST_MODE_WRITE);
    ASSERT_NE(h, HOST_INVALID_HANDLE) << name;
    const size_t index = holds_.size();
    holds_.push_back(h);
    if (until != 0) {
      clock.at(until, [this, index] {
        host_close(holds_[index]);
        holds_[index] = HOST_INVALID_HANDLE;
      });
    }
  }
  void let_go() {
    for (HostHandle& h : holds_) host_close(h);
    holds_.clear();
  }

  // Runs the update; the holds are let go after it. Returns the folder before it.
  FolderState run() {
    const FolderState before = snapshot(game_.path());
    RunUpdate();
    let_go();
    return before;
  }

  void way_back_case(uint32_t wayBackHold);

  std::vector<HostHandle> holds_;
};

// The game files are read before anything changes, which a hold that shares nothing would
// refuse at once: the holds start as the update checks that no program holds them.
TEST_F(UpdateHeldTest, AHoldThatPassesIsWaitedOut) {
  for (const char* name : {"INSTALL.DAT", "Velmor.EXE", "Update.PAK"}) {
    SCOPED_TRACE(name);
    next_case();
    build_updater();
    VirtualClock clock;
    host_override(&HostOps::busy, busy_after_step);
    g_step = [&](const char*) {
      hold(clock, name, clock.now() + 1000);
      return true;
    };
    run();
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    EXPECT_GE(clock.now(), 1000u);
    EXPECT_LT(clock.now(), HOST_PATIENCE_MS);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
  }
}

TEST_F(UpdateHeldTest, AHoldForTheWholePatienceFailsWithTheFolderAsItWas) {
  for (const char* name : {"INSTALL.DAT", "Velmor.EXE", "Update.PAK"}) {
    SCOPED_TRACE(name);
    next_case();
    build_updater();
    VirtualClock clock;
    host_override(&HostOps::busy, busy_after_step);
    g_step = [&](const char*) {
      hold(clock, name, 0);
      return true;
    };
    const FolderState before = run();
    EXPECT_EQ(updateResult, RESULT_FAILED);
    EXPECT_GE(clock.now(), HOST_PATIENCE_MS);
    EXPECT_EQ(snapshot(game_.path()), before);
  }
}

// The pack, replaced last, held from its replace on for longer than the patience: the
// executable and the record already replaced go back, the executable through a hold of its
// own that lasts wayBackHold past the pack's patience. (The pack's hold ends during the way
// back, so its backup name can go.)
void UpdateHeldTest::way_back_case(uint32_t wayBackHold) {
  next_case();
  build_updater();
  VirtualClock clock;
  host_override(&HostOps::replace, replace_after_step);
  g_step = [&](const char* target) {
    if (!ends_with(target, "Update.PAK")) return false;
    const uint32_t start = clock.now();
    hold(clock, "Update.PAK", start + HOST_PATIENCE_MS + 500);
    if (wayBackHold != 0) hold(clock, "Velmor.EXE", start + HOST_PATIENCE_MS + wayBackHold);
    return true;
  };
  const FolderState before = run();
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_GE(clock.now(), HOST_PATIENCE_MS + wayBackHold);
  EXPECT_EQ(snapshot(game_.path()), before);
}

TEST_F(UpdateHeldTest, TheWayBackWaitsOutAHoldOfItsOwn) {
  for (const uint32_t wayBackHold : {0u, 2000u}) {
    SCOPED_TRACE(wayBackHold);
    way_back_case(wayBackHold);
  }
}

// Runs once the commit's way back asks for HOST_PATIENCE_WAY_BACK_MS: a hold there is waited
// on for longer than any step forward waits.
TEST_F(UpdateHeldTest, TheWayBackWaitsLongerThanTheStepsForward) {
  way_back_case(HOST_PATIENCE_MS + 20000);
}

// A refusal that is no hold (a file the system reports as infected, a plain failure) fails the
// update at once, with nothing changed.
TEST_F(UpdateHeldTest, ARefusalThatIsNoHoldIsNotWaitedOn) {
  build_updater();
  install_game();
  VirtualClock clock;
  host_override(&HostOps::replace, +[](const char* from, const char* to) {
    return ends_with(to, "Update.PAK") ? -1 : g_hostDefaultOps.replace(from, to);
  });
  const FolderState before = run();
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(clock.pauses(), 0);
  EXPECT_EQ(snapshot(game_.path()), before);
}

}  // namespace
