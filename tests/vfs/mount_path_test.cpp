// Mount-letter paths and member lookup: the wildcard matcher and binary search as tables and
// properties, prefix stripping, archive choice by letter, and lookups across stacked archives.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/guarded_bytes.h"
#include "support/vfs_fixture.h"
#include "vfs/delete_rename.h"
#include "host/path.h"
#include "vfs/mount_path.h"

namespace {

// ---- Wildcard matching ----

struct MatchCase {
  const char* pattern;
  const char* name;
  int expected;
};

const MatchCase kMatchCases[] = {
    {"*", "ANYTHING.TXT", 0},
    {"*", "", 0},
    {"*.*", "A.TXT", 0},
    {"*.*", "README", 0},             // no '.' at all
    {"*.*", "SUB\\A.TXT", -1},        // '\' before the first '.'
    {"*.*", "A.B\\C", 0},             // '\' after the first '.'
    {"*.TXT", "A.TXT", 0},
    {"*.TXT", "README", 0},           // a name without '.' ends the '*' with a match
    {"*.TXT", "SUB\\A.TXT", -1},
    {"*.TXT", "A.DOC", -1},
    {"A*B.TXT", "AXYZ.TXT", 0},       // bytes between '*' and '.' are not compared
    {"*.T?T", "A.TXT", 0},
    {"update02.TXT", "Update02.txt", 0},
    {"ABC", "ABCD", -1},
    {"ABCD", "ABC", -1},
    {"A?C", "ABC", 0},
    {"A?C", "AC", -1},
    {"AB?", "AB", -1},                // '?' never matches the end of a name
    {"?", "", -1},
    {"", "", 0},
    {"", "A", -1},
    {"#:\\*.EXE", "#:\\Velmor.EXE", 0},
    {"#:\\*.EXE", "@:\\Velmor.EXE", -1},
    {"\xA4\xE1", "\xA4\xC1", -1},     // other bytes never fold
    {"\xA5\\*.TXT", "\xA5\\A.TXT", 0},  // a lead byte and 0x5C: the same either way
};

TEST(MatchWildcardName, Table) {
  for (const MatchCase& c : kMatchCases) {
    // The name ends its guarded block with its terminator, so a read past it faults.
    const size_t n = std::strlen(c.name) + 1;
    GuardedBytes name(n);
    ASSERT_NE(name.data(), nullptr);
    std::memcpy(name.chars(), c.name, n);
    EXPECT_EQ(match_wildcard_name(c.pattern, name.chars(), 40), c.expected)
        << "pattern '" << c.pattern << "' name '" << c.name << "'";
  }
}

// Names with double-byte characters, in the member names' code page (Big5 where the tests run
// with it): a trail byte never folds, never ends a folder and '?' takes the character whole.
TEST(MatchWildcardName, DoubleByteNames) {
  const bool big5 = path_is_lead_byte(path_names_code_page(), 0xA4);
  const struct {
    const char* pattern;
    const char* name;
    int big5Result;
    int singleByteResult;
  } cases[] = {
      {"\xA4\x61", "\xA4\x41", -1, 0},          // trail byte 'a' against 'A'
      {"\xA4\x48.txt", "\xA4\x68.txt", -1, 0},  // 人 against 士
      {"*.TXT", "\xB3\\A.TXT", 0, -1},           // 許 then "A.TXT": no folder in the name
      {"?.TXT", "\xB3\\.TXT", 0, -1},            // '?' is the whole character
      {"??.TXT", "\xB3\\.TXT", -1, 0},
      {"\xB3\\*.PAK", "\xB3\\Update.PAK", 0, 0},
  };
  for (const auto& c : cases) {
    const size_t n = std::strlen(c.name) + 1;
    GuardedBytes name(n);
    ASSERT_NE(name.data(), nullptr);
    std::memcpy(name.chars(), c.name, n);
    EXPECT_EQ(match_wildcard_name(c.pattern, name.chars(), 40), big5 ? c.big5Result : c.singleByteResult)
        << "pattern '" << c.pattern << "' name '" << c.name << "'";
  }
}

TEST(MatchWildcardName, NeverReadsPastTheLimit) {
  // A full 40-byte field without a terminator, ending its guarded block: matching stops after
  // 40 bytes with a match.
  GuardedBytes guarded(40);
  ASSERT_NE(guarded.data(), nullptr);
  char* const field = guarded.chars();
  std::memset(field, 'A', 40);
  const std::string longer(45, 'A');
  EXPECT_EQ(match_wildcard_name(longer.c_str(), field, 40), 0);
  EXPECT_EQ(match_wildcard_name("*.X", field, 40), 0);
  EXPECT_EQ(match_wildcard_name("?*", field, 40), 0);
  EXPECT_EQ(match_wildcard_name(std::string(39, '?').append("B").c_str(), field, 40), -1);

  // A smaller limit ends the comparison earlier.
  EXPECT_EQ(match_wildcard_name("ABCX", "ABCD", 3), 0);
  EXPECT_EQ(match_wildcard_name("ABXD", "ABCD", 3), -1);
  EXPECT_EQ(match_wildcard_name("A", "A", 0), -1);
  EXPECT_EQ(match_wildcard_name(nullptr, "A", 40), -1);
  EXPECT_EQ(match_wildcard_name("A", nullptr, 40), -1);
}

TEST(MatchWildcardName, ThirtyNineByteNameAndLongerPattern) {
  const std::string name(39, 'N');
  EXPECT_EQ(match_wildcard_name(name.c_str(), name.c_str(), 40), 0);
  EXPECT_EQ(match_wildcard_name((name + "X").c_str(), name.c_str(), 40), -1);
}

// ---- Binary search ----

std::vector<int> g_sorted;
int g_comparisons = 0;
int compare_sorted(const char* key, int position) {
  ++g_comparisons;
  const int k = *reinterpret_cast<const int*>(key);
  return k < g_sorted[size_t(position)] ? -1 : (k > g_sorted[size_t(position)] ? 1 : 0);
}

TEST(BinarySearch, FindsEveryElementAndNothingElse) {
  for (int count = 1; count <= 300; ++count) {
    g_sorted.clear();
    for (int i = 0; i < count; ++i) g_sorted.push_back(2 * i + 1);  // odd values
    for (int i = 0; i < count; ++i) {
      const int key = 2 * i + 1;
      ASSERT_EQ(binary_search(reinterpret_cast<const char*>(&key), count, compare_sorted), i)
          << "count " << count;
    }
    for (int key = 0; key <= 2 * count; key += 2) {  // even values: between, before, after
      ASSERT_EQ(binary_search(reinterpret_cast<const char*>(&key), count, compare_sorted), -1);
    }
  }
}

TEST(BinarySearch, EmptyCountCallsNothing) {
  g_comparisons = 0;
  const int key = 1;
  EXPECT_EQ(binary_search(reinterpret_cast<const char*>(&key), 0, compare_sorted), -1);
  EXPECT_EQ(g_comparisons, 0);
}

// Callbacks that answer at random, or always one way, over the largest count: the search
// gives up with -1 and never makes more than 200 comparisons.
std::mt19937 g_random;
int g_calls = 0;
int g_lastPosition = -1;
int compare_random(const char*, int position) {
  ++g_calls;
  g_lastPosition = position;
  return (g_random() & 1) ? 1 : -1;
}
int compare_always_after(const char*, int) {
  ++g_calls;
  return 1;
}
int compare_always_before(const char*, int) {
  ++g_calls;
  return -1;
}

TEST(BinarySearch, GivesUpWithinTwoHundredComparisons) {
  for (uint32_t seed = 0; seed < 2000; ++seed) {
    g_random.seed(seed);
    g_calls = 0;
    EXPECT_EQ(binary_search("k", INT_MAX, compare_random), -1);
    ASSERT_LE(g_calls, 200);
    ASSERT_GE(g_lastPosition, 0);
  }
  for (auto* cmp : {compare_always_after, compare_always_before}) {
    g_calls = 0;
    EXPECT_EQ(binary_search("k", INT_MAX, cmp), -1);
    EXPECT_LE(g_calls, 200);
  }
}

// ---- Prefix stripping ----

struct StripCase {
  int on;
  const char* path;
  const char* expected;
};

TEST(StripMountPrefix, Table) {
  const StripCase cases[] = {
      {1, "@:", "@:"},          // two bytes: unchanged
      {1, "@:\\", ""},
      {1, "@:Name", "Name"},
      {1, "@:\\Name", "Name"},
      {1, "@:\\\\Name", "\\Name"},
      {1, "@", "@"},
      {1, "", ""},
      {1, "@X\\Name", "@X\\Name"},
      {0, "@:\\Name", "@:\\Name"},
      {0, "@:", "@:"},
  };
  for (const StripCase& c : cases) {
    vfs_set_prefix_strip(c.on);
    const char* out = vfs_strip_mount_prefix(c.path);
    EXPECT_STREQ(out, c.expected) << c.path;
    EXPECT_GE(out, c.path);  // a pointer into the same string
    EXPECT_LE(out, c.path + std::strlen(c.path));
  }
  vfs_set_prefix_strip(0);
}

// ---- Archive choice and member lookup ----

using MountPath = VfsTest;

TEST_F(MountPath, ArchiveForPathUsesTheFirstByteOnly) {
  FixtureArchive range = archive('A', {member("A:\\X", "x")});
  range.lastLetter = 'C';
  const int ranged = mount(range, "range.pak");
  FixtureArchive high = archive(0xA4, {});
  high.lastLetter = 0xAF;
  const int highSlot = mount(high, "high.pak");
  ASSERT_EQ(ranged, 0);
  ASSERT_EQ(highSlot, 1);

  EXPECT_EQ(vfs_archive_for_path("B:\\X"), ranged);
  EXPECT_EQ(vfs_archive_for_path("Bxx"), ranged);
  EXPECT_EQ(vfs_archive_for_path("b:\\X"), -1);  // letters are compared exactly
  EXPECT_EQ(vfs_archive_for_path("D:\\X"), -1);  // a disk path despite ":\"
  EXPECT_EQ(vfs_archive_for_path("\xA7:\\X"), highSlot);
  EXPECT_EQ(vfs_archive_for_path(""), -1);
  EXPECT_EQ(vfs_archive_for_path(nullptr), -1);
}

TEST_F(MountPath, NewerArchiveShadowsOlderUnderOneLetter) {
  const int older = mount(archive('#', {member("#:\\Both", "old"), member("#:\\OnlyOld", "o")}),
                          "older.pak");
  const int newer = mount(archive('#', {member("#:\\Both", "new"), member("#:\\OnlyNew", "n")}),
                          "newer.pak");
  ASSERT_EQ(older, 0);
  ASSERT_EQ(newer, 1);
  EXPECT_EQ(vfs_archive_for_path("#:\\Both"), newer);

  EXPECT_EQ(read_member("#:\\Both"), "new");
  EXPECT_EQ(g_lastFoundArchive, newer);
  EXPECT_EQ(read_member("#:\\OnlyOld"), "o");
  EXPECT_EQ(g_lastFoundArchive, older);
  EXPECT_EQ(read_member("#:\\OnlyNew"), "n");

  // Deleting the newer member uncovers the older one, through the index and by scanning.
  ASSERT_EQ(vfs_delete("#:\\Both"), 0);
  EXPECT_EQ(read_member("#:\\Both"), "old");
  EXPECT_EQ(g_lastFoundArchive, older);
  pak_drop_index(newer);
  pak_drop_index(older);
  EXPECT_EQ(read_member("#:\\Both"), "old");
  EXPECT_EQ(vfs_delete("#:\\Both"), 0);
  EXPECT_EQ(vfs_find_member("#:\\Both", VFS_LOOKUP), nullptr);
}

TEST_F(MountPath, EmptyArchiveIsSkipped) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "one.pak"), 0);
  ASSERT_EQ(mount(archive('#', {}), "empty.pak"), 1);
  EXPECT_EQ(read_member("#:\\A"), "a");
  EXPECT_EQ(g_lastFoundArchive, 0);
}

TEST_F(MountPath, KeysFoldOnlyAsciiLetters) {
  ASSERT_EQ(mount(archive('@', {member("@:\\Update02.txt", "u"),
                                member("@:\\\xA4\xE5.txt", "big5")}),
                  "fold.pak"),
            0);
  for (int indexed = 1; indexed >= 0; --indexed) {
    if (!indexed) pak_drop_index(0);
    EXPECT_NE(vfs_find_member("@:\\UPDATE02.TXT", VFS_LOOKUP), nullptr);
    EXPECT_NE(vfs_find_member("@:\\update02.txt", VFS_LOOKUP), nullptr);
    EXPECT_NE(vfs_find_member("@:\\\xA4\xE5.TXT", VFS_LOOKUP), nullptr);
    EXPECT_EQ(vfs_find_member("@:\\\xA4\xC5.txt", VFS_LOOKUP), nullptr);
    EXPECT_EQ(vfs_find_member("@:\\Update02.tx", VFS_LOOKUP), nullptr);
  }
}

TEST_F(MountPath, DeletedEntriesAreNeverFound) {
  // The deleted entry is last, so a scan meets it first.
  ASSERT_EQ(mount(archive('@', {member("@:\\Kept", "k"), member("@:\\Gone", "g", true)}),
                  "deleted.pak"),
            0);
  EXPECT_EQ(vfs_find_member("@:\\Gone", VFS_LOOKUP), nullptr);
  EXPECT_EQ(g_archives[0].directory[1].name[0], '\0');  // its name was emptied at open
  pak_drop_index(0);
  EXPECT_EQ(vfs_find_member("@:\\Gone", VFS_LOOKUP), nullptr);
  EXPECT_EQ(vfs_find_member("@:\\*", VFS_LOOKUP)->name, std::string("@:\\Kept"));
}

TEST_F(MountPath, WildcardKeysMatchOnlyWhenScanning) {
  ASSERT_EQ(mount(archive('#', {member("#:\\Velmor.EXE", "exe"), member("#:\\Update.PAK", "p")}),
                  "payload.pak"),
            0);
  EXPECT_EQ(vfs_find_member("#:\\*.EXE", VFS_LOOKUP), nullptr);  // the index compares literally
  pak_drop_index(0);
  const PakEntry* e = vfs_find_member("#:\\*.EXE", VFS_LOOKUP);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "#:\\Velmor.EXE");
  EXPECT_EQ(read_member("#:\\*.EXE"), "exe");
}

TEST_F(MountPath, PrefixSwitchDecidesTheKey) {
  ASSERT_EQ(mount(archive('@', {member("Update02.txt", "bare"), member("@:\\Other.txt", "full")}),
                  "update.pak"),
            0);
  vfs_set_prefix_strip(1);
  EXPECT_EQ(read_member("@:\\Update02.txt"), "bare");
  EXPECT_EQ(read_member("@:Update02.txt"), "bare");
  EXPECT_EQ(vfs_find_member("@:\\Other.txt", VFS_LOOKUP), nullptr);
  vfs_set_prefix_strip(0);
  EXPECT_EQ(vfs_find_member("@:\\Update02.txt", VFS_LOOKUP), nullptr);
  EXPECT_EQ(read_member("@:\\Other.txt"), "full");
}

// Two live entries of one name in an indexed archive: deleting the newer must not hide the
// older, whichever of the two the binary search meets.
TEST_F(MountPath, IndexedLookupSkipsADeletedTwin) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A", "a"), member("@:\\Twin", "first"),
                                member("@:\\Twin", "second"), member("@:\\Z", "z")}),
                  "twins.pak"),
            0);
  ASSERT_NE(g_archives[0].sortedIndex, nullptr);
  EXPECT_EQ(read_member("@:\\Twin"), "second");  // nearest the end of the directory wins
  ASSERT_EQ(vfs_delete("@:\\Twin"), 0);
  ASSERT_NE(g_archives[0].sortedIndex, nullptr);
  EXPECT_EQ(read_member("@:\\Twin"), "first");
  ASSERT_EQ(vfs_delete("@:\\Twin"), 0);
  EXPECT_EQ(vfs_find_member("@:\\Twin", VFS_LOOKUP), nullptr);
}

TEST_F(MountPath, SearchModesSaveAndResumeByPosition) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A.TXT", "a"), member("@:\\B.DOC", "b"),
                                member("@:\\C.TXT", "c")}),
                  "search.pak"),
            0);
  const PakEntry* e = vfs_find_member("@:\\*.TXT", VFS_SEARCH_START);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "@:\\C.TXT");
  EXPECT_EQ(g_searchResume.archive, 0);
  EXPECT_EQ(g_searchResume.entry, 2);
  EXPECT_EQ(g_searchResume.remaining, 3);
  e = vfs_find_member("@:\\*.TXT", VFS_SEARCH_RESUME);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name, "@:\\A.TXT");
  EXPECT_EQ(vfs_find_member("@:\\*.TXT", VFS_SEARCH_RESUME), nullptr);
}

}  // namespace
