// The update journal: its record round-trips and refuses damage; recovery acts on the journal
// alone (a damaged one stops the run with nothing touched, an unfinished one goes, a backup left
// after a commit is never put back); one update per game folder; folders without hard links;
// start-up stays out of folders nobody chose.
#include <filesystem>

#include "app/folder_change.h"
#include "app/interrupted_run.h"
#include "app/update_journal.h"
#include "archive/checksum.h"
#include "archive/pak_format.h"
#include "support/fault_injection.h"
#include "update_fixture.h"

namespace {

UpdateJournal sample_journal() {
  UpdateJournal j{};
  j.state = JOURNAL_SWAPPING;
  j.count = 3;
  j.entries[0] = JournalEntry{GAME_FILE_RECORD, true, 0, 1, HOST_ATTR_ARCHIVE, {900, 0x1234}, {911, 0x5678}};
  j.entries[1] = JournalEntry{GAME_FILE_EXE, true, 2, 3, HOST_ATTR_READONLY, {19, 0xAABBCCDD}, {5000, 7}};
  j.entries[2] = JournalEntry{GAME_FILE_PACK, false, 9, 9, 0, {0, 0}, {4096, 0xFFFFFFFF}};
  return j;
}

Bytes encoded(const UpdateJournal& j) {
  Bytes b(JOURNAL_SIZE);
  JournalEncode(j, b.data());
  return b;
}

// Sets the check value again after a change, so that the field itself is what is refused.
void reseal(Bytes& b) {
  store_le32(&b[JOURNAL_CHECK_AT], pak_crc32(0, b.data(), JOURNAL_CHECK_AT));
}

bool same(const UpdateJournal& a, const UpdateJournal& b) {
  if (a.state != b.state || a.count != b.count) return false;
  for (int i = 0; i < a.count; ++i) {
    const JournalEntry &x = a.entries[i], &y = b.entries[i];
    if (x.file != y.file || x.hadOld != y.hadOld || x.stagedDigit != y.stagedDigit ||
        x.backupDigit != y.backupDigit || x.oldAttributes != y.oldAttributes ||
        !(x.oldContent == y.oldContent) || !(x.newContent == y.newContent))
      return false;
  }
  return true;
}

TEST(JournalRecord, RoundTripsEveryField) {
  UpdateJournal back{};
  const UpdateJournal j = sample_journal();
  ASSERT_TRUE(JournalDecode(encoded(j).data(), JOURNAL_SIZE, &back));
  EXPECT_TRUE(same(j, back));
  UpdateJournal one = j;
  one.count = 1;
  one.state = JOURNAL_COMMITTED;
  ASSERT_TRUE(JournalDecode(encoded(one).data(), JOURNAL_SIZE, &back));
  EXPECT_TRUE(same(one, back));
}

TEST(JournalRecord, DamagedRecordsAreRefused) {
  const size_t e0 = JOURNAL_ENTRIES_AT, e1 = e0 + JOURNAL_ENTRY_SIZE;
  const struct {
    const char* what;
    size_t at;
    uint8_t value;
    bool resealed;  // the check value made to fit again
  } cases[] = {
      {"magic", 0, 'X', true},
      {"version", 4, 2, true},
      {"check value", JOURNAL_CHECK_AT, 0x55, false},
      {"a field under an old check value", e1 + 8, 0x42, false},
      {"state 0", 6, 0, true},
      {"state 4", 6, 4, true},
      {"no files", 7, 0, true},
      {"four files", 7, 4, true},
      {"unknown file", e0, 3, true},
      {"the same file twice", e1, GAME_FILE_RECORD, true},
      {"unknown flag", e0 + 1, 0x03, true},
      {"staged digit 10", e0 + 2, 10, true},
      {"backup digit 10", e1 + 3, 0xFF, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = encoded(sample_journal());
    b[c.at] = c.value;
    if (c.resealed) reseal(b);
    UpdateJournal out{};
    EXPECT_FALSE(JournalDecode(b.data(), b.size(), &out));
  }
  UpdateJournal twoFiles = sample_journal();
  twoFiles.count = 2;
  Bytes b = encoded(twoFiles);
  b[JOURNAL_ENTRIES_AT + 2 * JOURNAL_ENTRY_SIZE + 5] = 1;  // an unused entry not zero
  reseal(b);
  UpdateJournal out{};
  EXPECT_FALSE(JournalDecode(b.data(), b.size(), &out));
  const Bytes whole = encoded(sample_journal());
  EXPECT_FALSE(JournalDecode(whole.data(), JOURNAL_SIZE - 1, &out));
  Bytes longer = whole;
  longer.push_back(0);
  EXPECT_FALSE(JournalDecode(longer.data(), longer.size(), &out));
}

class UpdateJournalTest : public UpdateTest {
 protected:
  std::string journal_path() const { return game("VelmorUpdate.journal"); }
};

TEST_F(UpdateJournalTest, ADamagedJournalStopsTheRunWithNothingTouched) {
  // Each journal names the executable's new copy "Velmor.EXE.~new0", planted beside it.
  UpdateJournal j{};
  j.state = JOURNAL_SWAPPING;
  j.count = 1;
  j.entries[0] = JournalEntry{GAME_FILE_EXE, true, 0, 0, HOST_ATTR_ARCHIVE, {1, 2}, {3, 4}};
  Bytes badCheck = encoded(j);
  badCheck[JOURNAL_CHECK_AT] ^= 1;
  Bytes badState = encoded(j);
  badState[6] = 7;
  reseal(badState);
  Bytes tooLong = encoded(j);
  tooLong.resize(JOURNAL_SIZE + 16, 0xEE);
  Bytes torn = encoded(j);
  std::fill(torn.begin() + 40, torn.end(), 0);
  for (const Bytes& journal : {badCheck, badState, tooLong, torn}) {
    next_case();
    ASSERT_TRUE(write_file_bytes(journal_path(), journal));
    ASSERT_TRUE(write_file_bytes(game("Velmor.EXE.~new0"), bytes_of("someone's file")));
    build_updater();
    const FolderState before = snapshot(game_.path());
    RecoverAtStartUp(gameFolder);
    RunUpdate();
    EXPECT_EQ(updateResult, RESULT_FAILED);
    EXPECT_EQ(snapshot(game_.path()), before);
  }
}

TEST_F(UpdateJournalTest, AJournalWhoseFirstWriteNeverFinishedOnlyGoes) {
  for (const Bytes& journal : {Bytes{}, Bytes(JOURNAL_SIZE, 0), Bytes(30, 0x56)}) {
    next_case();
    ASSERT_TRUE(write_file_bytes(journal_path(), journal));
    build_updater();
    RunUpdate();
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
  }
}

TEST_F(UpdateJournalTest, ABackupLeftAfterTheCommitIsNeverPutBack) {
  install_game();
  build_updater();
  {
    HostFaults faults;
    faults.fail_from(HostOp::Remove, 1);  // a scanner holds every backup, and the journal
    RunUpdate();
  }
  ASSERT_EQ(updateResult, RESULT_UPDATED);
  ASSERT_TRUE(std::filesystem::exists(game("Velmor.EXE.~old0")));
  ASSERT_TRUE(std::filesystem::exists(journal_path()));
  // The executable goes missing afterwards; the next run installs the new one again rather
  // than bringing the old one back beside the new pack.
  std::filesystem::remove(game("Velmor.EXE"));
  RecoverAtStartUp(gameFolder);
  EXPECT_EQ(snapshot(game_.path()).count("Velmor.EXE"), 0u);
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  FolderState expected = updated_state();
  // The record already lists the pack, so the second run leaves it as the first made it.
  EXPECT_EQ(snapshot(game_.path()), expected);
}

TEST_F(UpdateJournalTest, ASecondUpdaterOfTheFolderTouchesNothing) {
  install_game();
  build_updater();
  // An interrupted run's journal and new copy, as another updater may be making them now.
  UpdateJournal j{};
  j.state = JOURNAL_STAGING;
  j.count = 1;
  j.entries[0] = JournalEntry{GAME_FILE_EXE, true, 0, 0, HOST_ATTR_ARCHIVE, {0, 0}, {0, 0}};
  ASSERT_TRUE(write_file_bytes(journal_path(), encoded(j)));
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE.~new0"), bytes_of("half written")));
  const HostHandle held = FolderLockTake(gameFolder);
  ASSERT_GE(held, 0);
  const FolderState before = snapshot(game_.path());
  RecoverAtStartUp(gameFolder);
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_FAILED);
  EXPECT_EQ(snapshot(game_.path()), before);
  FolderLockRelease(gameFolder, held);
  // Once the folder is free, the journal is acted on and the update runs.
  RunUpdate();
  EXPECT_EQ(updateResult, RESULT_UPDATED);
  EXPECT_EQ(snapshot(game_.path()), updated_state());
}

TEST_F(UpdateJournalTest, WithoutHardLinksTheBackupsAreCopies) {
  for (const bool readOnly : {false, true}) {
    next_case();
    if (readOnly) set_read_only(game("Velmor.EXE"), true);
    build_updater();
    const FolderState before = snapshot(game_.path());
    {
      HostFaults faults;
      faults.fail_from(HostOp::Link, 1);
      RunUpdate();
    }
    EXPECT_EQ(updateResult, RESULT_UPDATED);
    EXPECT_EQ(snapshot(game_.path()), updated_state());
    // And the way back from copies, the pack's swap refused.
    next_case();
    if (readOnly) set_read_only(game("Velmor.EXE"), true);
    build_updater();
    const FolderState old = snapshot(game_.path());
    {
      HostFaults faults;
      faults.fail_from(HostOp::Link, 1);
      faults.fail(HostOp::Replace, 3);
      RunUpdate();
    }
    EXPECT_EQ(updateResult, RESULT_FAILED);
    EXPECT_EQ(snapshot(game_.path()), old);
    (void)before;
  }
}

TEST_F(UpdateJournalTest, StartUpStaysOutOfFoldersNobodyChose) {
  install_game();
  UpdateJournal j{};
  j.state = JOURNAL_STAGING;
  j.count = 1;
  j.entries[0] = JournalEntry{GAME_FILE_EXE, true, 0, 0, HOST_ATTR_ARCHIVE, {0, 0}, {0, 0}};
  ASSERT_TRUE(write_file_bytes(journal_path(), encoded(j)));
  ASSERT_TRUE(write_file_bytes(game("Velmor.EXE.~new0"), bytes_of("x")));
  const FolderState before = snapshot(game_.path());
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(game_.path());
  for (const char* folder : {"", ".", "Velmor", "_A_A_A_"}) {
    SCOPED_TRACE(folder);
    RecoverAtStartUp(folder);
    EXPECT_EQ(snapshot(game_.path()), before);
  }
  std::filesystem::current_path(here);
  EXPECT_TRUE(FolderIsAbsolute("C:\\Games"));
  EXPECT_TRUE(FolderIsAbsolute("\\\\server\\share"));
  EXPECT_FALSE(FolderIsAbsolute("C:Games"));
  EXPECT_FALSE(FolderIsAbsolute(""));
}

}  // namespace
