// The pak tool's changes cut by a power failure: add, delete, rename and compact, each run
// recorded on the in-memory host (the working copy made, written and flushed, the change lock
// held, the copy renamed over the archive), and every state the disk may hold after a power cut
// at any point of it (support/crash_model.h) put into a fresh host. In each the archive is byte
// for byte the old one or the new one; where it is the old one, the same command run again
// makes exactly the new one. A working copy the cut left beside it is the only other file, and
// the command run again leaves it alone (it cannot tell it from another change's).
#include <iostream>

#include "pak_tool_fixture.h"
#include "support/crash_model.h"
#include "support/memory_host.h"
#include "support/recording_host.h"

namespace {

using crash_model::Disk;

constexpr char kArchive[] = "w/Data.pak";
constexpr size_t kPerCut = 40;

Bytes counted(size_t length, uint8_t seed) {
  Bytes b(length);
  for (size_t i = 0; i < length; ++i) b[i] = uint8_t(seed + i * 13 + i / 4096);
  return b;
}

// Members of several blocks, one of them packed and one deleted, so that compaction has work.
FixtureArchive archive_before() {
  FixtureArchive a;
  a.compressed = true;
  a.members = {{"a.txt", pak_fixture_member_record(bytes_of("alpha")), false, 0},
               {"Readme.txt", bytes_of("old readme"), false, 0},
               {"gone.bin", counted(6000, 0x21), true, 0},
               {"b.txt", bytes_of("bravo"), false, 0},
               {"big.bin", counted(40000, 0x42), false, 0}};
  return a;
}

class ChangePowerCutTest : public PakToolTest {
 protected:
  static bool is_working_copy(const std::string& name) {
    return name.rfind("w/~pak", 0) == 0 && name.size() > 4 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
  }

  void explore(const char* what, const std::vector<std::string>& args) {
    Disk before;
    before[kArchive] = pak_fixture_bytes(archive_before());
    before["w/in/New.bin"] = counted(7000, 0x77);
    before["w/in/Readme.txt"] = bytes_of("the new readme");
    memory_host::install(before);
    recording_host::install();
    const ToolRun run = pak(args);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<recording_host::Change> changes = recording_host::changes();
    Disk after = memory_host::files();
    const Bytes changed = after[kArchive];
    after.erase(kArchive);
    before.erase(kArchive);
    ASSERT_EQ(after, before) << "the change made more than the archive";
    before[kArchive] = pak_fixture_bytes(archive_before());
    ASSERT_NE(changed, before[kArchive]);

    size_t leftCopies = 0;
    const crash_model::Budget budget = crash_model::budget_from_environment(kPerCut);
    const crash_model::Tally tally = crash_model::explore(
        before, changes, budget, [&](const Disk& state, size_t cut) {
          if (HasFailure()) return;
          std::string trace = std::string(what) + ", power cut after " + std::to_string(cut) +
                              " changes";
          if (cut > 0) trace += " (last: " + recording_host::describe(changes[cut - 1]) + ")";
          SCOPED_TRACE(trace);
          const auto archive = state.find(kArchive);
          ASSERT_NE(archive, state.end()) << "the archive is gone";
          const bool old = archive->second == before.at(kArchive);
          ASSERT_TRUE(old || archive->second == changed) << "neither the old archive nor the new";
          Disk others = state;
          others.erase(kArchive);
          for (auto it = others.begin(); it != others.end();) {
            it = is_working_copy(it->first) ? others.erase(it) : std::next(it);
          }
          EXPECT_EQ(others.size() + 1, before.size()) << "a file other than a working copy";
          if (others.size() + 1 != state.size()) ++leftCopies;
          if (!old) return;

          memory_host::install(state);
          const ToolRun again = pak(args);
          EXPECT_EQ(again.code, 0) << again.err;
          Disk expected = state;
          expected[kArchive] = changed;
          EXPECT_EQ(memory_host::files(), expected) << "run again, the command made another archive";
        });
    std::cout << crash_model::report(std::string("pak ") + what, tally, budget) << "; "
              << leftCopies << " of them with a working copy left" << std::endl;
  }
};

TEST_F(ChangePowerCutTest, AddAfterAnyCut) {
  explore("add", {"add", kArchive, "w/in/New.bin", "w/in/Readme.txt"});
}

TEST_F(ChangePowerCutTest, DeleteAfterAnyCut) { explore("delete", {"delete", kArchive, "b.txt"}); }

TEST_F(ChangePowerCutTest, RenameAfterAnyCut) {
  explore("rename", {"rename", kArchive, "a.txt", "z.txt"});
}

TEST_F(ChangePowerCutTest, CompactAfterAnyCut) { explore("compact", {"compact", kArchive}); }

}  // namespace
