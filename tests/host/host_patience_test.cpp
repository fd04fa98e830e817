// Waiting on a held file, on either platform: replace, sync, link, delete and busy try again
// while a hold may pass, with growing pauses, for the patience in force and no longer; other
// failures and a running program are answered at once. The clock is virtual: no test waits.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/host.h"
#include "support/host_override.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

namespace {

// A host call that answers HOST_IN_USE for its first `held` tries, then `after`.
struct Scripted {
  int held = 0;
  int after = 0;
  int tries = 0;
  int next() { return ++tries <= held ? HOST_IN_USE : after; }
};
Scripted g_script;

int s_one(const char*) { return g_script.next(); }
int s_two(const char*, const char*) { return g_script.next(); }

struct Call {
  const char* name;
  std::function<void()> serve;  // puts the scripted answer in the call's table entry
  std::function<int()> run;
  int success;       // what the wrapper returns when the hold passes
  int heldToTheEnd;  // and when it outlasts the patience
};

const std::vector<Call>& calls() {
  static const std::vector<Call> list = {
      {"replace",
       [] {
         host_override(&HostOps::sync, +[](const char*) { return 0; });
         host_override(&HostOps::replace, s_two);
       },
       [] { return host_replace("new", "old"); }, 0, HOST_IN_USE},
      {"sync", [] { host_override(&HostOps::sync, s_one); }, [] { return host_sync("f"); }, 0,
       -1},
      {"link", [] { host_override(&HostOps::link, s_two); }, [] { return host_link("f", "g"); },
       0, -1},
      {"delete", [] { host_override(&HostOps::remove, s_one); },
       [] { return host_delete("f"); }, 0, -1},
      {"busy", [] { host_override(&HostOps::busy, s_one); }, [] { return host_busy("f"); }, 0,
       1},
  };
  return list;
}

class HostPatienceTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  void TearDown() override { reset_process_state(); }
};

TEST_F(HostPatienceTest, AHoldThatPassesIsWaitedOutWithGrowingPauses) {
  for (const Call& c : calls()) {
    SCOPED_TRACE(c.name);
    reset_process_state();
    VirtualClock clock;
    c.serve();
    g_script = {5, 0, 0};
    EXPECT_EQ(c.run(), c.success);
    EXPECT_EQ(g_script.tries, 6);
    EXPECT_EQ(clock.pauses(), 5);
    EXPECT_EQ(clock.now(), 10u + 20 + 40 + 80 + 160);
  }
}

TEST_F(HostPatienceTest, AHoldThatOutlastsThePatienceEndsTheWaitOnTime) {
  for (const Call& c : calls()) {
    SCOPED_TRACE(c.name);
    reset_process_state();
    VirtualClock clock;
    c.serve();
    g_script = {1 << 30, 0, 0};
    EXPECT_EQ(c.run(), c.heldToTheEnd);
    // Pauses of 10, 20, ... 320 ms, then half a second each; the last is cut to the patience.
    EXPECT_EQ(clock.now(), HOST_PATIENCE_MS);
    EXPECT_EQ(clock.pauses(), 6 + (HOST_PATIENCE_MS - 630 + 499) / 500);
  }
}

TEST_F(HostPatienceTest, OtherAnswersAreGivenAtOnce) {
  // A plain failure, and busy's "a running program has it": no try again.
  const struct {
    const char* what;
    std::function<void()> serve;
    std::function<int()> run;
    int answer;
    int expected;
  } cases[] = {
      {"failed replace", [] { host_override(&HostOps::replace, s_two); },
       [] { return host_replace("new", "old"); }, -1, -1},
      {"failed delete", [] { host_override(&HostOps::remove, s_one); },
       [] { return host_delete("f"); }, -1, -1},
      {"failed link", [] { host_override(&HostOps::link, s_two); },
       [] { return host_link("f", "g"); }, -1, -1},
      {"running program", [] { host_override(&HostOps::busy, s_one); },
       [] { return host_busy("f"); }, 1, 1},
      {"busy unknown", [] { host_override(&HostOps::busy, s_one); },
       [] { return host_busy("f"); }, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_process_state();
    VirtualClock clock;
    host_override(&HostOps::sync, +[](const char*) { return 0; });
    c.serve();
    g_script = {0, c.answer, 0};
    EXPECT_EQ(c.run(), c.expected);
    EXPECT_EQ(g_script.tries, 1);
    EXPECT_EQ(clock.pauses(), 0);
  }
}

TEST_F(HostPatienceTest, ThePatienceCanBeLengthenedForAWhile) {
  VirtualClock clock;
  host_override(&HostOps::remove, s_one);
  EXPECT_EQ(host_patience(), HOST_PATIENCE_MS);
  {
    // The way back of an update waits a minute for a hold that the forward steps give up on.
    HostPatience wayBack(HOST_PATIENCE_WAY_BACK_MS);
    EXPECT_EQ(host_patience(), HOST_PATIENCE_WAY_BACK_MS);
    g_script = {80, 0, 0};  // 80 tries: about 38 seconds
    EXPECT_EQ(host_delete("f"), 0);
    EXPECT_GT(clock.now(), HOST_PATIENCE_MS);
    EXPECT_LT(clock.now(), HOST_PATIENCE_WAY_BACK_MS);
  }
  EXPECT_EQ(host_patience(), HOST_PATIENCE_MS);
  g_script = {80, 0, 0};
  EXPECT_EQ(host_delete("f"), -1);

  // No patience: one try.
  const uint32_t before = host_set_patience(0);
  EXPECT_EQ(before, HOST_PATIENCE_MS);
  g_script = {1, 0, 0};
  const uint32_t pausesBefore = uint32_t(clock.pauses());
  EXPECT_EQ(host_delete("f"), -1);
  EXPECT_EQ(g_script.tries, 1);
  EXPECT_EQ(uint32_t(clock.pauses()), pausesBefore);
  host_set_patience(before);
}

// The platform's own calls against a real hold: a handle that shares nothing (as a scanner
// opens a fresh file), let go part way through the wait.
class HeldFileTest : public HostPatienceTest {
 protected:
  std::string at(const std::string& name) const { return dir_.join(name); }
  static std::string text_of(const std::string& path) {
    const Bytes b = read_file_bytes(path);
    return std::string(b.begin(), b.end());
  }
  // Holds path from now until the clock reaches moment.
  void hold_until(VirtualClock& clock, const std::string& path, uint32_t moment) {
    held_ = host_open(path.c_str(), HOST_MODE_WRITE);
    ASSERT_NE(held_, HOST_INVALID_HANDLE);
    clock.at(moment, [this] {
      host_close(held_);
      held_ = HOST_INVALID_HANDLE;
    });
  }
  void TearDown() override {
    host_close(held_);
    HostPatienceTest::TearDown();
  }

  TempDir dir_;
  HostHandle held_ = HOST_INVALID_HANDLE;
};

TEST_F(HeldFileTest, ReplaceDeleteAndBusyWaitForAHoldThatPasses) {
  ASSERT_TRUE(write_file_bytes(at("game.exe"), bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("game.new"), bytes_of("new")));
  {
    VirtualClock clock;
    hold_until(clock, at("game.exe"), 1000);
    EXPECT_EQ(host_busy(at("game.exe").c_str()), 0);
    EXPECT_GE(clock.now(), 1000u);
  }
  {
    VirtualClock clock;
    hold_until(clock, at("game.exe"), 1000);
    EXPECT_EQ(host_replace(at("game.new").c_str(), at("game.exe").c_str()), 0);
    EXPECT_GE(clock.now(), 1000u);
    EXPECT_EQ(text_of(at("game.exe")), "new");
  }
  {
    VirtualClock clock;
    hold_until(clock, at("game.exe"), 1000);
    EXPECT_EQ(host_delete(at("game.exe").c_str()), 0);
    EXPECT_GE(clock.now(), 1000u);
    EXPECT_EQ(host_get_attributes(at("game.exe").c_str()), HOST_NO_SUCH_FILE);
  }
}

TEST_F(HeldFileTest, AHoldForTheWholePatienceFailsWithTheFilesAsTheyWere) {
  ASSERT_TRUE(write_file_bytes(at("game.exe"), bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("game.new"), bytes_of("new")));
  VirtualClock clock;
  hold_until(clock, at("game.exe"), 10 * 60 * 1000);
  EXPECT_EQ(host_busy(at("game.exe").c_str()), 1);
  EXPECT_EQ(clock.now(), HOST_PATIENCE_MS);
  EXPECT_EQ(host_replace(at("game.new").c_str(), at("game.exe").c_str()), HOST_IN_USE);
  EXPECT_EQ(host_delete(at("game.exe").c_str()), -1);
  EXPECT_EQ(clock.now(), 3 * HOST_PATIENCE_MS);
  host_close(held_);
  held_ = HOST_INVALID_HANDLE;
  EXPECT_EQ(text_of(at("game.exe")), "old");
  EXPECT_EQ(text_of(at("game.new")), "new");
}

TEST_F(HeldFileTest, AReaderThatKeepsWritersOutIsARunningProgramAtOnce) {
  // Others may read, nobody may change it: as a running game holds its files.
  ASSERT_TRUE(write_file_bytes(at("game.exe"), bytes_of("old")));
  VirtualClock clock;
  const HostHandle reader = host_open(at("game.exe").c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_busy(at("game.exe").c_str()), 1);
  EXPECT_EQ(clock.pauses(), 0);
  host_close(reader);
  EXPECT_EQ(host_busy(at("game.exe").c_str()), 0);
}

}  // namespace
