// Host file wrappers on either platform: open modes and sharing, create and its attributes,
// reads, seeks and the 32-bit limit, delete and move rules, names that differ only in case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "support/reset_state.h"
#include "support/virtual_clock.h"
#include "host/host.h"

namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  // A search left open would keep its folder busy (Windows will not remove it then).
  void TearDown() override {
    char name[HOST_PATH_ROOM];
    while (host_find_next(name) == 0) {
    }
  }

  std::string at(const std::string& name) const { return dir_.join(name); }

  // Makes a file holding text; false when any step fails.
  bool make_file(const std::string& name, const std::string& text, uint32_t attributes = 0) {
    HostHandle h = host_create(at(name).c_str(), 0);
    if (h == HOST_INVALID_HANDLE) return false;
    const int32_t n = static_cast<int32_t>(text.size());
    const bool written = host_write(h, text.data(), n) == n;
    if (host_close(h) != 0 || !written) return false;
    return attributes == 0 || host_set_attributes(at(name).c_str(), attributes) == 0;
  }

  // The whole file, or "<missing>" when it cannot be opened for reading.
  std::string contents(const std::string& name) {
    HostHandle h = host_open(at(name).c_str(), HOST_MODE_READ);
    if (h == HOST_INVALID_HANDLE) return "<missing>";
    std::string text(static_cast<size_t>(host_size(h)), '\0');
    const int32_t n = host_read(h, text.data(), static_cast<int32_t>(text.size()));
    host_close(h);
    text.resize(static_cast<size_t>(n));
    return text;
  }

  TempDir dir_;
};

// ---- opening and sharing ----

struct ShareCase {
  const char* description;
  int firstMode;  // -1: the first handle comes from host_create
  int secondMode;
  bool secondOpens;
};

TEST_F(HostTest, SharingBetweenHandlesOfOneProcess) {
  const ShareCase cases[] = {
      {"two readers share", HOST_MODE_READ, HOST_MODE_READ, true},
      {"a reader keeps a writer out", HOST_MODE_READ, HOST_MODE_WRITE, false},
      {"a reader keeps a read-writer out", HOST_MODE_READ, HOST_MODE_READWRITE, false},
      {"a writer keeps a reader out", HOST_MODE_WRITE, HOST_MODE_READ, false},
      {"a read-writer keeps a reader out", HOST_MODE_READWRITE, HOST_MODE_READ, false},
      {"a read-writer keeps another out", HOST_MODE_READWRITE, HOST_MODE_READWRITE, false},
      {"a created file keeps a reader out", -1, HOST_MODE_READ, false},
      {"a created file keeps a writer out", -1, HOST_MODE_WRITE, false},
  };
  ASSERT_TRUE(make_file("shared.bin", "data"));
  const std::string path = at("shared.bin");
  for (const ShareCase& c : cases) {
    SCOPED_TRACE(c.description);
    const HostHandle first = c.firstMode < 0 ? host_create(path.c_str(), 0)
                                             : host_open(path.c_str(), c.firstMode);
    ASSERT_NE(first, HOST_INVALID_HANDLE);
    const HostHandle second = host_open(path.c_str(), c.secondMode);
    EXPECT_EQ(second != HOST_INVALID_HANDLE, c.secondOpens);
    host_close(second);
    EXPECT_EQ(host_close(first), 0);
    // Once the first handle is gone, the second mode always opens.
    const HostHandle again = host_open(path.c_str(), c.secondMode);
    EXPECT_NE(again, HOST_INVALID_HANDLE);
    host_close(again);
  }
}

TEST_F(HostTest, OpenModeChoosesAccessFromTheLowFourBits) {
  ASSERT_TRUE(make_file("modes.bin", "abc"));
  const std::string path = at("modes.bin");
  struct {
    int mode;
    bool reads;
    bool writes;
  } const cases[] = {
      {HOST_MODE_READ, true, false},      {HOST_MODE_WRITE, false, true},
      {HOST_MODE_READWRITE, true, true},  {0x10 | HOST_MODE_READWRITE, true, true},
      {7, true, false},  // any other value reads
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const HostHandle h = host_open(path.c_str(), c.mode);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    char byte = 0;
    EXPECT_EQ(host_read(h, &byte, 1), c.reads ? 1 : 0);
    EXPECT_EQ(host_seek(h, 0, HOST_SEEK_BEGIN), 0);
    EXPECT_EQ(host_write(h, "a", 1), c.writes ? 1 : 0);
    EXPECT_EQ(host_close(h), 0);
  }
  EXPECT_EQ(contents("modes.bin"), "abc");
}

TEST_F(HostTest, OpeningAMissingFileFailsAndCreatesNothing) {
  for (int mode : {HOST_MODE_READ, HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    EXPECT_EQ(host_open(at("absent.txt").c_str(), mode), HOST_INVALID_HANDLE);
  }
  EXPECT_EQ(host_get_attributes(at("absent.txt").c_str()), HOST_NO_SUCH_FILE);
}

TEST_F(HostTest, OpeningAFolderFails) {
  ASSERT_EQ(host_make_dir(at("folder").c_str()), 0);
  EXPECT_EQ(host_open(at("folder").c_str(), HOST_MODE_READ), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_create(at("folder").c_str(), 0), HOST_INVALID_HANDLE);
}

TEST_F(HostTest, UnusableArgumentsFailCleanly) {
  const std::string tooLong = at(std::string(300, 'n'));
  EXPECT_EQ(host_open("", HOST_MODE_READ), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open(nullptr, HOST_MODE_READ), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_create(tooLong.c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open(tooLong.c_str(), HOST_MODE_READ), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_delete(tooLong.c_str()), -1);
  EXPECT_EQ(host_make_dir(""), -1);
  EXPECT_EQ(host_get_attributes(""), HOST_NO_SUCH_FILE);
}

TEST_F(HostTest, ClosingTheInvalidHandleFailsWithoutAHostCall) {
  HostFaults faults;
  EXPECT_EQ(host_close(HOST_INVALID_HANDLE), -1);
  EXPECT_EQ(faults.calls(HostOp::Close), 0);
}

// ---- create ----

TEST_F(HostTest, CreateTruncatesAnExistingFile) {
  ASSERT_TRUE(make_file("old.txt", "previous contents"));
  const HostHandle h = host_create(at("old.txt").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(h), 0);
  EXPECT_EQ(host_write(h, "new", 3), 3);
  EXPECT_EQ(host_close(h), 0);
  EXPECT_EQ(contents("old.txt"), "new");
}

TEST_F(HostTest, CreateOfAFileOpenElsewhereFailsAndKeepsItsBytes) {
  ASSERT_TRUE(make_file("busy.txt", "keep me"));
  const HostHandle reader = host_open(at("busy.txt").c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_create(at("busy.txt").c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(reader), 7);
  host_close(reader);
  EXPECT_EQ(contents("busy.txt"), "keep me");
}

TEST_F(HostTest, CreateAttributesChooseAccessAndReadOnlyState) {
  struct {
    uint32_t attributes;
    bool writes;
    bool readOnly;
  } const cases[] = {
      {0, true, false},
      {HOST_ATTR_READONLY, false, true},
      {HOST_ATTR_HIDDEN, true, false},
      {HOST_ATTR_SYSTEM, false, false},
      {HOST_ATTR_HIDDEN | HOST_ATTR_READONLY, false, true},
      {HOST_ATTR_NORMAL, true, false},  // only the low three bits reach the flags
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    const std::string path = at("created.bin");
    const HostHandle h = host_create(path.c_str(), c.attributes);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    EXPECT_EQ(host_write(h, "xyz", 3), c.writes ? 3 : 0);
    EXPECT_EQ(host_seek(h, 0, HOST_SEEK_BEGIN), 0);
    char buffer[4] = {};
    EXPECT_EQ(host_read(h, buffer, 3), c.writes ? 3 : 0);
    EXPECT_EQ(host_close(h), 0);
    const uint32_t attributes = host_get_attributes(path.c_str());
    ASSERT_NE(attributes, HOST_NO_SUCH_FILE);
    EXPECT_EQ((attributes & HOST_ATTR_READONLY) != 0, c.readOnly);
    EXPECT_EQ(host_force_delete(path.c_str()), 0);
  }
}

TEST_F(HostTest, CreateOverAReadOnlyFileFailsButRecreateReplacesIt) {
  ASSERT_TRUE(make_file("locked.txt", "old", HOST_ATTR_READONLY));
  EXPECT_EQ(host_create(at("locked.txt").c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(contents("locked.txt"), "old");
  const HostHandle h = host_recreate(at("locked.txt").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "fresh", 5), 5);
  host_close(h);
  EXPECT_EQ(contents("locked.txt"), "fresh");
  EXPECT_EQ(host_get_attributes(at("locked.txt").c_str()) & HOST_ATTR_READONLY, 0u);
}

TEST_F(HostTest, OpenForWritingFailsOnAReadOnlyFile) {
  ASSERT_TRUE(make_file("ro.txt", "abc", HOST_ATTR_READONLY));
  EXPECT_EQ(host_open(at("ro.txt").c_str(), HOST_MODE_WRITE), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open(at("ro.txt").c_str(), HOST_MODE_READWRITE), HOST_INVALID_HANDLE);
  EXPECT_EQ(contents("ro.txt"), "abc");
}

// ---- reading, writing, seeking ----

TEST_F(HostTest, ReadStopsAtTheEndAndReturnsZeroThere) {
  ASSERT_TRUE(make_file("five.txt", "12345"));
  const HostHandle h = host_open(at("five.txt").c_str(), HOST_MODE_READ);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  char buffer[16] = {};
  EXPECT_EQ(host_read(h, buffer, 3), 3);
  EXPECT_EQ(host_read(h, buffer, 16), 2);
  EXPECT_EQ(std::string(buffer, 2), "45");
  EXPECT_EQ(host_read(h, buffer, 16), 0);
  EXPECT_EQ(host_read(h, buffer, 0), 0);
  EXPECT_EQ(host_read(h, buffer, -5), 0);
  host_close(h);
}

TEST_F(HostTest, SeekMethodsAndLimits) {
  ASSERT_TRUE(make_file("ten.txt", "0123456789"));
  const HostHandle h = host_open(at("ten.txt").c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  struct {
    int32_t offset;
    int method;
    int32_t expected;
  } const steps[] = {
      {4, HOST_SEEK_BEGIN, 4},    {2, HOST_SEEK_CURRENT, 6},   {-1, HOST_SEEK_END, 9},
      {-20, HOST_SEEK_END, -1},   {-3, HOST_SEEK_CURRENT, 6},  // the failed seek left it at 9
      {100, HOST_SEEK_END, 110},  // beyond the end is allowed
      {0, 3, -1},                 {0x7FFFFFFF, HOST_SEEK_BEGIN, 0x7FFFFFFF},
      {1, HOST_SEEK_CURRENT, -1},  // past the 32-bit range
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << s.offset << "/" << s.method);
    EXPECT_EQ(host_seek(h, s.offset, s.method), s.expected);
  }
  EXPECT_EQ(host_size(h), 10);  // seeking alone never grows the file
  host_close(h);
}

TEST_F(HostTest, WriteAfterSeekingPastTheEndGrowsTheFile) {
  const HostHandle h = host_create(at("gap.bin").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_seek(h, 100, HOST_SEEK_BEGIN), 100);
  EXPECT_EQ(host_write(h, "z", 1), 1);
  EXPECT_EQ(host_size(h), 101);
  EXPECT_EQ(host_flush(h), 0);
  host_close(h);
}

TEST_F(HostTest, WriteThatWouldPassTheThirtyTwoBitLimitWritesNothing) {
  const HostHandle h = host_create(at("limit.bin").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  ASSERT_EQ(host_seek(h, 0x7FFFFFF0, HOST_SEEK_BEGIN), 0x7FFFFFF0);
  char block[32] = {};
  EXPECT_EQ(host_write(h, block, sizeof block), 0);
  EXPECT_EQ(host_size(h), 0);
  host_close(h);
}

TEST_F(HostTest, CallsOnAClosedHandleFail) {
  const HostHandle h = host_create(at("closed.bin").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  ASSERT_EQ(host_close(h), 0);
  char byte = 0;
  EXPECT_EQ(host_read(h, &byte, 1), 0);
  EXPECT_EQ(host_write(h, &byte, 1), 0);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_BEGIN), -1);
  EXPECT_EQ(host_size(h), -1);
  EXPECT_EQ(host_flush(h), -1);
  EXPECT_EQ(host_close(h), -1);
}

// ---- delete, move, attributes, folders ----

TEST_F(HostTest, DeleteAndMoveAreRefusedWhileAHandleIsOpen) {
  VirtualClock clock;  // a delete waits out the patience first
  ASSERT_TRUE(make_file("held.txt", "x"));
  for (int mode : {HOST_MODE_READ, HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    SCOPED_TRACE(mode);
    const HostHandle h = host_open(at("held.txt").c_str(), mode);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    EXPECT_EQ(host_delete(at("held.txt").c_str()), -1);
    EXPECT_EQ(host_force_delete(at("held.txt").c_str()), -1);
    EXPECT_EQ(host_move(at("held.txt").c_str(), at("moved.txt").c_str()), -1);
    host_close(h);
  }
  EXPECT_EQ(host_move(at("held.txt").c_str(), at("moved.txt").c_str()), 0);
  EXPECT_EQ(contents("moved.txt"), "x");
  EXPECT_EQ(host_delete(at("moved.txt").c_str()), 0);
  EXPECT_EQ(host_delete(at("moved.txt").c_str()), -1);
}

TEST_F(HostTest, MoveFailsWhenTheTargetExists) {
  ASSERT_TRUE(make_file("from.txt", "from"));
  ASSERT_TRUE(make_file("to.txt", "to"));
  EXPECT_EQ(host_move(at("from.txt").c_str(), at("to.txt").c_str()), -1);
  EXPECT_EQ(contents("from.txt"), "from");
  EXPECT_EQ(contents("to.txt"), "to");
  EXPECT_EQ(host_move(at("none.txt").c_str(), at("other.txt").c_str()), -1);
}

TEST_F(HostTest, ReadOnlyFilesResistDeleteButNotForceDelete) {
  ASSERT_TRUE(make_file("ro.txt", "abc", HOST_ATTR_READONLY));
  EXPECT_EQ(host_get_attributes(at("ro.txt").c_str()) & HOST_ATTR_READONLY, HOST_ATTR_READONLY);
  EXPECT_EQ(host_delete(at("ro.txt").c_str()), -1);
  EXPECT_EQ(contents("ro.txt"), "abc");
  EXPECT_EQ(host_force_delete(at("ro.txt").c_str()), 0);
  EXPECT_EQ(host_get_attributes(at("ro.txt").c_str()), HOST_NO_SUCH_FILE);
  EXPECT_EQ(host_force_delete(at("ro.txt").c_str()), -1);  // nothing left to delete
}

TEST_F(HostTest, AttributesOfFilesAndFolders) {
  ASSERT_TRUE(make_file("plain.txt", ""));
  ASSERT_EQ(host_make_dir(at("sub").c_str()), 0);
  EXPECT_EQ(host_make_dir(at("sub").c_str()), -1);  // exists already
  const uint32_t file = host_get_attributes(at("plain.txt").c_str());
  EXPECT_EQ(file & (HOST_ATTR_DIRECTORY | HOST_ATTR_READONLY), 0u);
  EXPECT_NE(file & (HOST_ATTR_ARCHIVE | HOST_ATTR_NORMAL), 0u);
  EXPECT_NE(host_get_attributes(at("sub").c_str()) & HOST_ATTR_DIRECTORY, 0u);
  EXPECT_EQ(host_set_attributes(at("plain.txt").c_str(), HOST_ATTR_READONLY), 0);
  EXPECT_NE(host_get_attributes(at("plain.txt").c_str()) & HOST_ATTR_READONLY, 0u);
  EXPECT_EQ(host_set_attributes(at("plain.txt").c_str(), HOST_ATTR_NORMAL), 0);
  EXPECT_EQ(host_get_attributes(at("plain.txt").c_str()) & HOST_ATTR_READONLY, 0u);
  EXPECT_EQ(host_set_attributes(at("absent").c_str(), HOST_ATTR_NORMAL), -1);
  EXPECT_EQ(host_remove_dir(at("sub").c_str()), 0);
  EXPECT_EQ(host_remove_dir(at("sub").c_str()), -1);
}

TEST_F(HostTest, RemovingAFolderThatHoldsFilesFails) {
  ASSERT_EQ(host_make_dir(at("full").c_str()), 0);
  ASSERT_TRUE(make_file("full/inner.txt", "x"));
  EXPECT_EQ(host_remove_dir(at("full").c_str()), -1);
  EXPECT_EQ(host_delete(at("full").c_str()), -1);  // delete is for files only
}

// ---- names that differ only in case ----

TEST_F(HostTest, NamesResolveWithoutRegardToCase) {
  ASSERT_EQ(host_make_dir(at("Game").c_str()), 0);
  ASSERT_TRUE(make_file("Game/MixedCase.Txt", "first"));
  EXPECT_EQ(contents("GAME/mixedcase.txt"), "first");
  EXPECT_NE(host_get_attributes(at("game/MIXEDCASE.TXT").c_str()), HOST_NO_SUCH_FILE);

  // A create meeting the name in another case rewrites the existing file.
  const HostHandle h = host_create(at("gAmE/MIXEDCASE.TXT").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "second", 6), 6);
  host_close(h);
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first(at("Game/*").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "MixedCase.Txt");
  EXPECT_EQ(host_find_next(name), -1);
  EXPECT_EQ(contents("Game/MixedCase.Txt"), "second");

  // A move to the same name in another case renames; to another existing name it fails.
  EXPECT_EQ(host_move(at("game/mixedcase.txt").c_str(), at("Game/MIXEDCASE.TXT").c_str()), 0);
  ASSERT_EQ(host_find_first(at("Game/*").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "MIXEDCASE.TXT");
  EXPECT_EQ(host_find_next(name), -1);
  ASSERT_TRUE(make_file("Game/Other.txt", "o"));
  EXPECT_EQ(host_move(at("Game/other.TXT").c_str(), at("Game/mixedcase.txt").c_str()), -1);
  EXPECT_EQ(host_delete(at("GAME/OTHER.TXT").c_str()), 0);
}

// ---- disk search ----

class HostFindTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    ASSERT_TRUE(make_file("a.txt", "a"));
    ASSERT_TRUE(make_file("b.dat", "b"));
    ASSERT_TRUE(make_file("c.txt", "c", HOST_ATTR_READONLY));
    ASSERT_TRUE(make_file("noext", "n"));
    ASSERT_EQ(host_make_dir(at("sub").c_str()), 0);
  }

  // Every name a find-first / find-next walk reports, sorted.
  std::vector<std::string> walk(const std::string& pattern, uint32_t mask) {
    std::vector<std::string> names;
    char name[HOST_PATH_ROOM];
    memset(name, 'x', sizeof name);
    for (int r = host_find_first(pattern.c_str(), mask, name); r == 0; r = host_find_next(name)) {
      names.push_back(name);
      memset(name, 'x', sizeof name);
    }
    EXPECT_STREQ(name, "") << "the name buffer is emptied when the search ends";
    EXPECT_EQ(g_hostFind, -1);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(HostFindTest, PatternsAndMasks) {
  using Names = std::vector<std::string>;
  struct {
    const char* pattern;
    uint32_t mask;
    Names expected;
  } const cases[] = {
      {"*.*", HOST_ATTR_NORMAL, {"a.txt", "b.dat", "c.txt", "noext"}},
      {"*", HOST_ATTR_NORMAL, {"a.txt", "b.dat", "c.txt", "noext"}},
      {"*.txt", HOST_ATTR_NORMAL, {"a.txt", "c.txt"}},
      {"*.TXT", HOST_ATTR_ARCHIVE, {"a.txt", "c.txt"}},
      {"?.dat", HOST_ATTR_NORMAL, {"b.dat"}},
      {"B.DAT", HOST_ATTR_NORMAL, {"b.dat"}},
      {"*.*", HOST_ATTR_READONLY, {"c.txt"}},
      {"*.*", HOST_ATTR_DIRECTORY, {".", "..", "sub"}},
      {"s*", HOST_ATTR_DIRECTORY | HOST_ATTR_NORMAL, {"sub"}},
      {"none*", HOST_ATTR_NORMAL, {}},
      {"??", HOST_ATTR_NORMAL, {}},
      {"*.*", HOST_ATTR_HIDDEN, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pattern << " mask " << c.mask);
    EXPECT_EQ(walk(at(c.pattern), c.mask), c.expected);
  }
}

TEST_F(HostFindTest, MissingFoldersAndEmptyPatternsFindNothing) {
  EXPECT_EQ(walk(at("nowhere/*.*"), HOST_ATTR_NORMAL), std::vector<std::string>{});
  EXPECT_EQ(walk(at("a.txt/*"), HOST_ATTR_NORMAL), std::vector<std::string>{});
  EXPECT_EQ(walk(at(""), HOST_ATTR_NORMAL), std::vector<std::string>{});
  EXPECT_EQ(walk("", HOST_ATTR_NORMAL), std::vector<std::string>{});
  EXPECT_EQ(walk(at(std::string(300, '*')), HOST_ATTR_NORMAL), std::vector<std::string>{});
  char name[HOST_PATH_ROOM] = "stale";
  EXPECT_EQ(host_find_next(name), -1);
  EXPECT_STREQ(name, "");
}

TEST_F(HostFindTest, FolderPartOfThePatternIgnoresCase) {
  ASSERT_TRUE(make_file("sub/Inner.Txt", "i"));
  EXPECT_EQ(walk(at("SUB/*.txt"), HOST_ATTR_NORMAL), std::vector<std::string>{"Inner.Txt"});
}

TEST_F(HostFindTest, ANewSearchClosesAnAbandonedOne) {
  HostFaults faults;
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first(at("*.txt").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_NE(g_hostFind, -1);
  EXPECT_EQ(faults.calls(HostOp::FindClose), 0);
  ASSERT_EQ(host_find_first(at("*.dat").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_EQ(faults.calls(HostOp::FindClose), 1);
  EXPECT_STREQ(name, "b.dat");
  EXPECT_EQ(host_find_next(name), -1);
  EXPECT_EQ(faults.calls(HostOp::FindClose), 2);
  EXPECT_EQ(g_hostFind, -1);
}

TEST_F(HostFindTest, TheNormalMaskIsWidenedToTheArchiveBit) {
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first(at("a.txt").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_EQ(g_hostFindMask, HOST_ATTR_NORMAL | HOST_ATTR_ARCHIVE);
  EXPECT_EQ(host_find_first(at("a.txt").c_str(), HOST_ATTR_DIRECTORY, name), -1);
  EXPECT_EQ(g_hostFindMask, HOST_ATTR_DIRECTORY);
}

// ---- memory ----

TEST(HostMemory, AllocResizeAndFree) {
  auto* block = static_cast<unsigned char*>(mem_alloc(16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) block[i] = static_cast<unsigned char>(i);
  block = static_cast<unsigned char*>(mem_realloc(block, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], i);
  // Shrinking to nothing still hands back a block the caller owns (never a hidden free).
  void* tiny = mem_realloc(block, 0);
  ASSERT_NE(tiny, nullptr);
  mem_free(tiny);
  mem_free(nullptr);
  void* empty = mem_alloc(0);
  EXPECT_NE(empty, nullptr);
  mem_free(empty);
}

TEST(HostMemory, FailedResizeLeavesTheOldBlockIntact) {
  auto* block = static_cast<char*>(mem_alloc(8));
  ASSERT_NE(block, nullptr);
  memcpy(block, "1234567", 8);
  {
    HostFaults faults;
    faults.fail(HostOp::Realloc, 1);
    EXPECT_EQ(mem_realloc(block, 1 << 20), nullptr);
    EXPECT_EQ(faults.calls(HostOp::Realloc), 1);
  }
  EXPECT_STREQ(block, "1234567");
  mem_free(block);
}

}  // namespace
