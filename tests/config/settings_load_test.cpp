// Loading settings files: the entry table's layout and growth, appending loads, the settings
// folder and open attempts, and every failure path (missing file, short read, any heap call
// refused, paths too long) leaving a store that queries can read safely.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/pak_table.h"
#include "settings_fixture.h"
#include "support/host_override.h"
#include "support/pak_fixture.h"

namespace {

constexpr char kSep = TempDir::kSeparator;

// Runs the rest of a test in another working folder, restoring the old one afterwards.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

TEST_F(SettingsTest, EntryTableLayout) {
  ASSERT_EQ(load("[INI]\r\nGAMEDIR=C:\\G\r\nUNINSTALL=1\r\n[Two]\r\nk=v\r\n"), 1);
  struct Row {
    int32_t offset;
    const char* name;
    int32_t nextSection;
    int32_t nextKey;
  };
  const Row rows[] = {{0, "INI", 48, 16}, {16, "GAMEDIR", 0, 32}, {32, "UNINSTALL", 0, 0},
                      {48, "Two", 0, 64},  {64, "k", 0, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const SettingsEntry& e = settings_entry(row.offset);
    EXPECT_EQ(settings_entry_text(e.name), row.name);
    EXPECT_EQ(e.nextSection, row.nextSection);
    EXPECT_EQ(e.nextKey, row.nextKey);
  }
  EXPECT_EQ(settings_entry(0).value, 0);   // sections have no value
  EXPECT_EQ(settings_entry_text(settings_entry(16).value), "C:\\G");
  EXPECT_EQ(g_settings.entryUsed, 80);
  ASSERT_GE(g_settings.entryCapacity, 96);  // room for the zeroed record after the last
  const SettingsEntry& after = settings_entry(80);
  EXPECT_EQ(after.name | after.value | after.nextSection | after.nextKey, 0);
}

TEST_F(SettingsTest, TablesGrowAndKeepTheZeroedRecordAfterTheLast) {
  for (const int keys : {58, 59, 118, 119, 500}) {
    SCOPED_TRACE(keys);
    reset();
    std::string text = "[S]\r\n";
    for (int i = 0; i < keys; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    ASSERT_EQ(load(text), 1);
    const int32_t used = (keys + 1) * 16;
    EXPECT_EQ(g_settings.entryUsed, used);
    ASSERT_GE(g_settings.entryCapacity, used + 16);
    const SettingsEntry& after = settings_entry(used);
    EXPECT_EQ(after.name | after.value | after.nextSection | after.nextKey, 0);
    EXPECT_EQ(SettingsCountKeys(nullptr, 1), keys);
    EXPECT_STREQ(SettingsGetKey(("k" + std::to_string(keys - 1)).c_str(), 1, 1, nullptr, 0),
                 std::to_string(keys - 1).c_str());
  }
}

TEST_F(SettingsTest, SecondLoadAppendsAndKeepsHandles) {
  ASSERT_EQ(load("[A]\r\na=1\r\n", "one.ini"), 1);
  const int32_t a = SettingsFindSection("A", 1);
  ASSERT_EQ(a, 1);
  ASSERT_EQ(load("b=2\r\n[B]\r\nc=3", "two.ini"), 1);
  // Keys before the second file's first header continue the first file's last section.
  EXPECT_EQ(settings_dump(), "[A] a=1 b=2 | [B] c=3");
  EXPECT_EQ(SettingsFindSection("A", 1), a);
  EXPECT_STREQ(SettingsGetKey("b", 1, a, nullptr, 0), "2");
  // A third, empty file changes nothing.
  ASSERT_EQ(load("", "three.ini"), 1);
  EXPECT_EQ(settings_dump(), "[A] a=1 b=2 | [B] c=3");
}

TEST_F(SettingsTest, ReservedFirstByteKeepsTheFirstName) {
  const std::string text = "GAMEDIR=C:\\G\r\n[INI]\r\n";
  ASSERT_EQ(load(text), 1);
  EXPECT_EQ(g_settings.text[0], '\0');
  EXPECT_EQ(settings_entry_text(settings_entry(0).name), "GAMEDIR");
  // The reserved byte, the file, and the CR LF appended to it.
  EXPECT_EQ(g_settings.textUsed, static_cast<int32_t>(1 + text.size() + 2));
}

TEST_F(SettingsTest, SettingsFolderIsTheLoadedFilesFolder) {
  ASSERT_EQ(load("[S]\r\n"), 1);
  EXPECT_EQ(std::string(g_settings.folder), dir_.path() + kSep);

  // A bare name: the working folder with a separator added.
  WorkingFolder here(dir_.path());
  ASSERT_EQ(SettingsLoad("main.ini"), 1);
  EXPECT_EQ(std::string(g_settings.folder), std::filesystem::current_path().string() + "\\");

  // A missing file still replaces the folder; nothing else changes.
  const std::string nowhere = std::string(1, kSep) + "nowhere" + kSep + "at" + kSep;
  EXPECT_EQ(SettingsLoad((nowhere + "all.ini").c_str()), 0);
  EXPECT_EQ(std::string(g_settings.folder), nowhere);
  EXPECT_EQ(settings_dump(), "[S] | [S]");

  // Emptying the store keeps both folders.
  ASSERT_EQ(SettingsSetIncludeFolder("extra"), 1);
  SettingsFree();
  EXPECT_EQ(std::string(g_settings.folder), nowhere);
  EXPECT_EQ(std::string(g_settings.includeFolder), "extra");
  EXPECT_EQ(settings_dump(), "");
}

TEST_F(SettingsTest, PathIsTriedInsideTheSettingsFolderSecond) {
  // "sub\x.ini" relative: the folder is <cwd>\sub\, and the second attempt is
  // <cwd>\sub\sub\x.ini.
  const std::string sub = std::string("sub") + kSep;
  ASSERT_TRUE(std::filesystem::create_directories(dir_.join(sub + "sub")));
  write(sub + sub + "x.ini", "[Deep]\r\n");
  WorkingFolder here(dir_.path());
  ASSERT_EQ(SettingsLoad((sub + "x.ini").c_str()), 1);
  EXPECT_EQ(settings_dump(), "[Deep]");
}

TEST_F(SettingsTest, MissingFileLeavesStoreUnchanged) {
  ASSERT_EQ(load("[A]\r\na=1\r\n"), 1);
  const int32_t used = g_settings.textUsed;
  EXPECT_EQ(SettingsLoad(dir_.join("missing.ini").c_str()), 0);
  EXPECT_EQ(SettingsLoad(nullptr), 0);
  EXPECT_EQ(g_settings.textUsed, used);
  EXPECT_EQ(settings_dump(), "[A] a=1");
}

TEST_F(SettingsTest, FolderTooLongIsRefused) {
  const std::string longDir = kSep + std::string(130, 'd') + kSep;
  EXPECT_EQ(SettingsLoad((longDir + "x.ini").c_str()), 0);
  EXPECT_EQ(g_settings.folder[0], '\0');
  // A folder of exactly 127 characters fits.
  const std::string fits = kSep + std::string(125, 'd') + kSep;
  EXPECT_EQ(SettingsLoad((fits + "x.ini").c_str()), 0);  // no such file
  EXPECT_EQ(std::string(g_settings.folder), fits);
}

TEST_F(SettingsTest, ShortReadFailsTheLoad) {
  ASSERT_EQ(load("[A]\r\na=1\r\n", "one.ini"), 1);
  const int32_t used = g_settings.textUsed;
  {
    HostFaults faults;
    faults.short_read(1, 1, true);
    EXPECT_EQ(load("[B]\r\nb=2\r\n", "two.ini"), 0);
  }
  EXPECT_EQ(g_settings.textUsed, used);
  EXPECT_EQ(settings_dump(), "[A] a=1");
}

// Largest single request the heap saw while a test ran through these.
size_t g_largestRequest = 0;
void* recording_alloc(size_t bytes) {
  g_largestRequest = std::max(g_largestRequest, bytes);
  return g_hostDefaultOps.alloc(bytes);
}
void* recording_realloc(void* block, size_t bytes) {
  g_largestRequest = std::max(g_largestRequest, bytes);
  return g_hostDefaultOps.realloc(block, bytes);
}

TEST_F(SettingsTest, AMemberClaimingMoreThanItsArchiveHoldsCostsNoSuchAllocation) {
  // A settings file read through an archive member whose directory entry says 1.9 GiB: the
  // load fails on the short read without ever asking the heap for what the entry claims.
  FixtureArchive archive;
  archive.members.push_back({"@:\\s.ini", bytes_of("[A]\r\na=1\r\n")});
  FixtureLayout built = pak_fixture_build(archive);
  // The entry's size field is its first four bytes.
  store_le32(built.bytes.data() + built.directoryOffset, 0x78000000u);
  const std::string path = dir_.join("lying.pak");
  ASSERT_TRUE(write_file_bytes(path, built.bytes));
  ASSERT_GE(pak_open(path.c_str(), PAK_OPEN_READ), 0);
  g_largestRequest = 0;
  host_override(&HostOps::alloc, recording_alloc);
  host_override(&HostOps::realloc, recording_realloc);
  EXPECT_EQ(SettingsLoad("@:\\s.ini"), 0);
  host_restore_all();
  EXPECT_LT(g_largestRequest, size_t(1) << 20);
  pak_close_all();
}

TEST_F(SettingsTest, UnknownSizeFailsTheLoad) {
  HostFaults faults;
  faults.fail(HostOp::Size, 1);
  EXPECT_EQ(load("[A]\r\n"), 0);
  EXPECT_EQ(g_settings.entryUsed, 0);
}

TEST_F(SettingsTest, EveryHeapFailureWhileLoadingLeavesAConsistentStore) {
  std::string big = "[B]\r\n";
  for (int i = 0; i < 70; ++i) big += "k=1\r\n";  // outgrows the first table records
  std::string bigDump = "[B]";
  for (int i = 0; i < 70; ++i) bigDump += " k=1";
  struct Case {
    const char* before;  // loaded first, without failures; null: the store starts empty
    std::string full;    // the store after a load that meets no failure
  };
  const Case cases[] = {{nullptr, bigDump}, {"[A]\r\na=1\r\n", "[A] a=1 | " + bigDump}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before != nullptr ? "after a load" : "first load");
    bool textLost = false, entriesLost = false;
    const auto prepare = [&] {
      reset();
      if (c.before != nullptr) {
        ASSERT_EQ(load(c.before, "one.ini"), 1);
      }
    };
    sweep_heap_failures(prepare, [&] { return load(big, "two.ini"); },
                        [&](int result, const HeapFault&) {
      const std::string dump = settings_dump();
      if (result == 0) {
        // The text could not be stored: the store is empty, old handles name nothing.
        textLost = true;
        EXPECT_EQ(g_settings.text, nullptr);
        EXPECT_EQ(g_settings.textUsed, 0);
        EXPECT_EQ(g_settings.entryUsed, 0);
        EXPECT_EQ(g_settings.entryCapacity, 0);
        EXPECT_EQ(SettingsGetKey("a", 1, 1, nullptr, 0), nullptr);
        EXPECT_EQ(SettingsCountSections(nullptr, 1), 0);
      } else if (dump.empty()) {
        // The text is kept; the entry table could not grow and was emptied.
        entriesLost = true;
        EXPECT_NE(g_settings.text, nullptr);
        EXPECT_EQ(g_settings.entries, nullptr);
        EXPECT_EQ(g_settings.entryUsed, 0);
        EXPECT_EQ(SettingsGetKey("a", 1, 1, nullptr, 0), nullptr);
      } else {
        EXPECT_EQ(dump, c.full);  // never a half-filled table
      }
      EXPECT_EQ(SettingsFindSection("A", 1) != 0, dump.rfind("[A]", 0) == 0);
      EXPECT_EQ(SettingsFindSection("B", 1) != 0, !dump.empty());
      // Later loads work on whatever is left.
      ASSERT_EQ(load("[C]\r\nc=3\r\n", "three.ini"), 1);
      EXPECT_EQ(settings_dump(), dump.empty() ? "[C] c=3" : dump + " | [C] c=3");
    });
    EXPECT_TRUE(textLost);
    EXPECT_TRUE(entriesLost);
  }
}

}  // namespace
