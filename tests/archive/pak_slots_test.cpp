// The table's slots as a stack: which slot an open takes, how closes lower the top, the ten
// slot limit, closing nothing, and the generation that tells one tenancy of a slot from another.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_table_fixture.h"

namespace {

class ArchiveSlotsTest : public ArchiveTableTest {
 protected:
  void SetUp() override {
    ArchiveTableTest::SetUp();
    path_ = put("slots.pak", pak_fixture_bytes(sample_archive(true)));
  }
  int open() { return pak_open(path_.c_str(), PAK_OPEN_READ); }

  // One step of a sequence: open (slot -1 in the step) or close the given slot, then what the
  // open returns and where the top stands.
  struct Step {
    int close;  // -1: open instead
    int openResult;
    int top;
  };
  void run(const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE("step " + std::to_string(i));
      const Step& s = steps[i];
      if (s.close < 0) {
        EXPECT_EQ(open(), s.openResult);
      } else {
        pak_close(s.close);
        EXPECT_EQ(g_archives[s.close].state, 0u);
      }
      EXPECT_EQ(g_archiveTop, s.top);
    }
  }
  static constexpr int kOpen = -1;
  std::string path_;
};

TEST_F(ArchiveSlotsTest, FreeSlotBelowTopIsNotReused) {
  run({
      {kOpen, 0, 1}, {kOpen, 1, 2}, {kOpen, 2, 3},  // A, B, C
      {1, 0, 3},                                    // close B: top stays
      {kOpen, 3, 4},                                // next open goes above
      {3, 0, 3},                                    // close it again
      {2, 0, 1},                                    // close C: top falls past free B
      {0, 0, 0},                                    // close A
      {kOpen, 0, 1},
  });
}

TEST_F(ArchiveSlotsTest, TenSlots) {
  for (int i = 0; i < PAK_MAX_ARCHIVES; ++i) ASSERT_EQ(open(), i);
  EXPECT_EQ(pak_find_free_slot(), -1);
  run({
      {kOpen, -1, 10},
      {0, 0, 10},      // closing the bottom frees nothing usable
      {kOpen, -1, 10},
      {9, 0, 9},       // closing the top does
      {kOpen, 9, 10},
  });
}

TEST_F(ArchiveSlotsTest, CloseOfNothingDoesNothing) {
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(open(), 1);
  pak_close(1);
  const PakArchive before = g_archives[1];
  for (int slot : {-1, 1, 5, PAK_MAX_ARCHIVES, -7, 1000}) pak_close(slot);
  EXPECT_EQ(g_archiveTop, 1);
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);
  EXPECT_EQ(g_archives[1].generation, before.generation);
}

TEST_F(ArchiveSlotsTest, SameFileTwiceTakesTwoSlots) {
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(open(), 1);
  EXPECT_NE(g_archives[0].file, g_archives[1].file);
  EXPECT_NE(g_archives[0].directory, g_archives[1].directory);
  EXPECT_EQ(g_archives[0].entryCount, g_archives[1].entryCount);
  pak_close(0);
  EXPECT_STREQ(g_archives[1].directory[0].name, "Update01.txt") << "the other copy is untouched";
}

TEST_F(ArchiveSlotsTest, CloseAllEmptiesTheTable) {
  for (int i = 0; i < 4; ++i) ASSERT_EQ(open(), i);
  pak_close(2);
  pak_close_all();
  EXPECT_EQ(g_archiveTop, 0);
  for (const PakArchive& a : g_archives) {
    EXPECT_EQ(a.state, 0u);
    EXPECT_EQ(a.directory, nullptr);
    EXPECT_EQ(a.sortedIndex, nullptr);
  }
  EXPECT_EQ(open(), 0);
}

TEST_F(ArchiveSlotsTest, GenerationRisesAtOpenAndClose) {
  const uint32_t start = g_archives[0].generation;
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(g_archives[0].generation, start + 1);
  pak_close(0);
  EXPECT_EQ(g_archives[0].generation, start + 2);
  EXPECT_EQ(pak_open(dir_.join("missing.pak").c_str(), PAK_OPEN_READ), -1);
  EXPECT_EQ(g_archives[0].generation, start + 2) << "a refused open leaves the slot alone";
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(g_archives[0].generation, start + 3);
}

TEST_F(ArchiveSlotsTest, FlushTopWithNothingOpen) { EXPECT_EQ(pak_flush_top(), 0); }

TEST_F(ArchiveSlotsTest, DropIndexFreesOnce) {
  ASSERT_EQ(open(), 0);
  ASSERT_NE(g_archives[0].sortedIndex, nullptr);
  pak_drop_index(0);
  EXPECT_EQ(g_archives[0].sortedIndex, nullptr);
  pak_drop_index(0);
  pak_drop_index(-1);
  pak_drop_index(PAK_MAX_ARCHIVES);
}

// The comparison the binary search of the file layer uses: key against the entry at a position
// of the published archive's index.
TEST_F(ArchiveSlotsTest, IndexCompare) {
  ASSERT_EQ(open(), 0);
  g_indexArchive = 0;
  // Index order: "" (deleted), "#:\Velmor.EXE", "Update01.txt", "Zeta".
  const struct {
    const char* key;
    int position;
    int sign;
  } cases[] = {
      {"UPDATE01.TXT", 2, 0}, {"update01.txt", 2, 0}, {"#:\\velmor.exe", 1, 0},
      {"zeta", 3, 0},         {"Update", 2, -1},      {"Zz", 3, 1},
      {"", 0, 0},             {"a", 0, 1},
  };
  for (const auto& c : cases) {
    const int r = pak_index_compare(c.key, c.position);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.key << " at " << c.position;
  }
  // Positions outside the index, or no index to search, never read outside it.
  EXPECT_NE(pak_index_compare("Zeta", 4), 0);
  EXPECT_NE(pak_index_compare("Zeta", -1), 0);
  pak_drop_index(0);
  EXPECT_NE(pak_index_compare("Zeta", 3), 0);
  g_indexArchive = 5;
  EXPECT_NE(pak_index_compare("Zeta", 3), 0);
  g_indexArchive = -1;
}

}  // namespace
