// The in-memory host of the test support: host calls over named files in memory, and an
// archive opened and changed there through the file layer without touching the disk.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/memory_host.h"
#include "support/vfs_fixture.h"

namespace {

using MemoryHost = VfsTest;

TEST_F(MemoryHost, ServesTheHostCallsFromMemory) {
  memory_host::install();
  memory_host::put("a.bin", bytes_of("hello"));
  const HostHandle h = host_open("a.bin", HOST_MODE_READWRITE);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open("a.bin", HOST_MODE_READ), HOST_INVALID_HANDLE) << "open once at a time";
  EXPECT_EQ(host_size(h), 5);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_END), 5);
  EXPECT_EQ(host_write(h, "!", 1), 1);
  EXPECT_EQ(host_close(h), 0);
  EXPECT_EQ(*memory_host::find("a.bin"), bytes_of("hello!"));
  EXPECT_EQ(host_get_attributes("missing"), HOST_NO_SUCH_FILE);
  EXPECT_EQ(host_move("a.bin", "b.bin"), 0);
  EXPECT_EQ(memory_host::find("a.bin"), nullptr);
  EXPECT_EQ(host_truncate("b.bin", 2), 0);
  EXPECT_EQ(*memory_host::find("b.bin"), bytes_of("he"));
  EXPECT_EQ(host_delete("b.bin"), 0);
  EXPECT_EQ(host_find_first("*", HOST_ATTR_NORMAL, nullptr), -1) << "nothing left to find";
}

// A search lists what lies directly in the pattern's folder and matches its last part.
TEST_F(MemoryHost, SearchesOneFolderByWildcards) {
  memory_host::install();
  for (const char* name : {"G:\\Game.EXE", "G:\\Game.EXE.~old0", "G:\\sub\\x.~new1", "H:\\y.~a",
                           "G:\\UPDATE.PAK.~NEW3"}) {
    memory_host::put(name, bytes_of("z"));
  }
  ASSERT_EQ(host_make_dir("G:\\dir.~x"), 0);
  const struct {
    const char* pattern;
    uint32_t mask;
    std::set<std::string> found;
  } cases[] = {
      {"G:\\*.~*", HOST_ATTR_NORMAL, {"Game.EXE.~old0", "UPDATE.PAK.~NEW3"}},
      {"G:\\*.~*", HOST_ATTR_DIRECTORY, {"dir.~x"}},
      {"G:\\game.exe", HOST_ATTR_NORMAL, {"Game.EXE"}},
      {"G:\\?ame.*", HOST_ATTR_NORMAL, {"Game.EXE", "Game.EXE.~old0"}},
      {"G:\\sub/*", HOST_ATTR_NORMAL, {}},
      {"G:\\sub\\*", HOST_ATTR_NORMAL, {"x.~new1"}},
      {"G:\\*.zip", HOST_ATTR_NORMAL, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::set<std::string> found;
    char name[HOST_PATH_ROOM];
    for (int more = host_find_first(c.pattern, c.mask, name); more == 0;
         more = host_find_next(name)) {
      found.insert(name);
    }
    EXPECT_EQ(found, c.found);
  }
}

TEST_F(MemoryHost, BusyFileCannotBeReplaced) {
  memory_host::install();
  memory_host::put("a.exe", bytes_of("old"));
  memory_host::put("a.exe.new", bytes_of("new"));
  memory_host::set_busy("a.exe");
  EXPECT_EQ(host_busy("a.exe"), 1);
  EXPECT_EQ(host_busy("a.exe.new"), 0);
  EXPECT_EQ(host_replace("a.exe.new", "a.exe"), HOST_IN_USE);
  EXPECT_EQ(*memory_host::find("a.exe"), bytes_of("old"));
}

TEST_F(MemoryHost, KeepsFoldersApartFromFiles) {
  memory_host::install();
  EXPECT_EQ(host_make_dir("out"), 0);
  EXPECT_EQ(host_make_dir("out"), -1) << "made once";
  EXPECT_EQ(host_get_attributes("out"), HOST_ATTR_DIRECTORY);
  EXPECT_EQ(host_create("out", 0), HOST_INVALID_HANDLE) << "a folder is no file";
  const HostHandle h = host_create("out/a", 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  host_close(h);
  EXPECT_EQ(memory_host::files().size(), 1u) << "folders are not listed as files";
  EXPECT_EQ(host_remove_dir("out"), 0);
  EXPECT_EQ(host_get_attributes("out"), HOST_NO_SUCH_FILE);
}

TEST_F(MemoryHost, HoldsOneChangeLockPerName) {
  memory_host::install();
  const HostHandle lock = host_lock("a.pak");
  ASSERT_GE(lock, 0);
  EXPECT_EQ(host_lock("a.pak"), HOST_IN_USE);
  EXPECT_EQ(host_unlock("a.pak", lock), 0);
  EXPECT_GE(host_lock("a.pak"), 0) << "free again";
  EXPECT_TRUE(memory_host::files().empty()) << "locks are no files";
}

TEST_F(MemoryHost, FailsThePlannedChangeOnly) {
  memory_host::install();
  memory_host::put("a.bin", bytes_of("hello"));
  memory_host::fail_change(2);
  EXPECT_EQ(host_move("a.bin", "b.bin"), 0);
  EXPECT_EQ(host_move("b.bin", "c.bin"), -1) << "the second change fails";
  EXPECT_NE(memory_host::find("b.bin"), nullptr) << "and changes nothing";
  EXPECT_EQ(host_move("b.bin", "c.bin"), 0) << "later ones pass";
}

TEST_F(MemoryHost, HoldsAnArchiveTheFileLayerChanges) {
  memory_host::install();
  memory_host::put("m.pak", pak_fixture_bytes(archive('#', {member("#:\\A", "one")})));
  ASSERT_EQ(pak_open("m.pak", PAK_OPEN_READWRITE), 0);
  EXPECT_EQ(read_member("#:\\A"), "one");
  const int32_t h = vfs_create("#:\\B", 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write_text(h, "two"), 3);
  vfs_close(h);
  pak_close_all();

  ASSERT_EQ(pak_open("m.pak", PAK_OPEN_READ), 0);
  EXPECT_EQ(read_member("#:\\B"), "two");
}

}  // namespace
