// The update cut by a power failure: one run recorded on the in-memory host, and every state the
// disk may hold after a power cut at any point of it (support/crash_model.h) put into a fresh
// host. In each: the game executable is byte for byte the old or the new one, and a new pack
// never sits beside an old executable; start-up recovery (a start the player cancels) makes the
// folder wholly old or wholly new; and the next run leaves it wholly updated, the install record
// as computed, with nothing of the interrupted run left. On a folder that takes hard links and
// on one that does not.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

#include "app/interrupted_run.h"
#include "app/updater.h"
#include "support/crash_model.h"
#include "support/memory_host.h"
#include "support/recording_host.h"
#include "support/reset_state.h"
#include "update_fixture.h"

namespace {

using crash_model::Disk;

constexpr char kFolder[] = "G:\\Game";
constexpr char kExe[] = "G:\\Game\\Velmor.EXE";
constexpr char kPack[] = "G:\\Game\\Update.PAK";
constexpr char kRecord[] = "G:\\Game\\INSTALL.DAT";
constexpr char kSelf[] = "G:\\Downloads\\VelmorUpdate.exe";
// States tried at one cut before they are sampled.
constexpr size_t kPerCut = 256;

FixtureArchive one_member_pack(const std::string& name, const std::string& content) {
  FixtureArchive a;
  a.members = {FixtureMember{name, bytes_of(content), false, 0}};
  return a;
}

// Bytes that differ from block to block, so that a block in the wrong place shows.
Bytes counted(size_t length, uint8_t seed) {
  Bytes b(length);
  for (size_t i = 0; i < length; ++i) b[i] = uint8_t(seed + i * 7 + i / 4096);
  return b;
}

class UpdatePowerCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_process_state();
    oldExe_ = counted(6000, 0x11);
    newExe_ = counted(40000, 0x5A);
    oldPack_ = pak_fixture_bytes(one_member_pack("Readme.txt", "old pack"));
    FixtureArchive pack = one_member_pack("Update01.txt", "1");
    pack.members.push_back(FixtureMember{"Data\\More.bin", counted(5000, 0x33), false, 0});
    newPack_ = pak_fixture_bytes(pack);
    const std::vector<std::string> names = {"Data.PAK", "Music.PAK"};
    record_ = install_record(names);

    FixtureArchive payload;
    payload.firstLetter = payload.lastLetter = '#';
    payload.compressed = true;
    payload.members = {packed_member("#:\\Velmor.EXE", newExe_),
                       packed_member("#:\\Update.PAK", newPack_)};
    before_[kExe] = oldExe_;
    before_[kPack] = oldPack_;
    before_[kRecord] = record_;
    before_[kSelf] = pak_fixture_append(pak_fixture_executable(3000), pak_fixture_bytes(payload));
    updated_ = before_;
    updated_[kExe] = newExe_;
    updated_[kPack] = newPack_;
    updated_[kRecord] = appended_record(record_, names);
  }
  void TearDown() override { reset_process_state(); }

  // A fresh in-memory host holding the state, and the updater's variables as at start-up.
  void load(const Disk& state) {
    reset_process_state();
    memory_host::install(state);
    std::strcpy(gameFolder, kFolder);
    selfPathOverride = kSelf;
  }

  // One whole run, recorded.
  std::vector<recording_host::Change> record_run(bool links) {
    load(before_);
    recording_host::install(!links);
    RunUpdate();
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    EXPECT_EQ(memory_host::files(), updated_) << "the recorded run did not update";
    std::vector<recording_host::Change> changes = recording_host::changes();
    reset_process_state();
    return changes;
  }

  // What a state holds, file by file: old, new, or how long it is.
  std::string summary(const Disk& state) const {
    std::string s;
    for (const auto& [name, bytes] : state) {
      if (name == kSelf) continue;
      s += "\n  " + name + ": ";
      const auto was = before_.find(name);
      if (was != before_.end() && was->second == bytes) {
        s += "old";
      } else if (updated_.count(name) != 0 && updated_.at(name) == bytes) {
        s += "new";
      } else {
        s += std::to_string(bytes.size()) + " bytes";
      }
    }
    return s;
  }

  void check(const Disk& state, const std::vector<recording_host::Change>& changes, size_t cut) {
    if (HasFailure()) return;  // the first state that fails says enough
    std::string trace = "power cut after " + std::to_string(cut) + " changes";
    if (cut > 0) trace += " (last: " + recording_host::describe(changes[cut - 1]) + ")";
    SCOPED_TRACE(trace + summary(state));

    const auto exe = state.find(kExe);
    ASSERT_NE(exe, state.end()) << "the game executable is gone";
    EXPECT_TRUE(exe->second == oldExe_ || exe->second == newExe_)
        << "the executable is neither the old one nor the new one";
    const auto pack = state.find(kPack);
    if (pack != state.end() && pack->second == newPack_) {
      EXPECT_EQ(exe->second, newExe_) << "the new pack beside the old executable";
    }

    load(state);
    RecoverAtStartUp(kFolder);
    const Disk& recovered = memory_host::files();
    EXPECT_TRUE(recovered == before_ || recovered == updated_)
        << "neither wholly old nor wholly new after a cancelled start:" << summary(recovered);

    RunUpdate();
    EXPECT_TRUE(updateResult == RESULT_UPDATED || updateResult == RESULT_ALREADY_UPDATED)
        << updateResult;
    EXPECT_EQ(memory_host::files(), updated_) << "after the next run:" << summary(memory_host::files());
    EXPECT_EQ(g_archiveTop, 0);
  }

  void explore(bool links) {
    const std::vector<recording_host::Change> changes = record_run(links);
    ASSERT_FALSE(HasFailure());
    const crash_model::Budget budget = crash_model::budget_from_environment(kPerCut);
    const crash_model::Tally tally = crash_model::explore(
        before_, changes, budget,
        [&](const Disk& state, size_t cut) { check(state, changes, cut); });
    std::cout << crash_model::report(links ? "update, hard links" : "update, no hard links",
                                     tally, budget)
              << std::endl;
  }

  Bytes oldExe_, newExe_, oldPack_, newPack_, record_;
  Disk before_, updated_;
};

TEST_F(UpdatePowerCutTest, EveryStateOfAPowerCutWithHardLinks) { explore(true); }

TEST_F(UpdatePowerCutTest, EveryStateOfAPowerCutWithoutHardLinks) { explore(false); }

}  // namespace
