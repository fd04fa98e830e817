// Delete and rename: member changes in the in-memory directory that reach the archive file
// when it is closed, the prefix switch, name limits, disk files through the host, and
// renaming to another extension.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/vfs_fixture.h"
#include "vfs/delete_rename.h"
#include "vfs/search.h"

namespace {

using DeleteRename = VfsTest;

TEST_F(DeleteRename, DeletedMemberIsGoneAndTheArchiveDirty) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A", "a"), member("@:\\B", "b")}), "del.pak"), 0);
  ASSERT_NE(g_archives[0].sortedIndex, nullptr);
  EXPECT_EQ(vfs_delete("@:\\a"), 0);  // names match without regard to ASCII case
  EXPECT_NE(g_archives[0].state & PAK_DIRTY, 0u);
  EXPECT_NE(g_archives[0].sortedIndex, nullptr);  // a delete keeps the index
  EXPECT_EQ(vfs_open("@:\\A", 0), -1);
  EXPECT_EQ(vfs_delete("@:\\A"), -1);
  EXPECT_EQ(read_member("@:\\B"), "b");
  EXPECT_EQ(vfs_open_member_count(), 0);
}

TEST_F(DeleteRename, DeleteAndRenameReachTheFileAfterReopen) {
  for (bool compressed : {false, true}) {
    reset_process_state();
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    ASSERT_EQ(mount(archive('@', {member("@:\\Keep", "k"), member("@:\\Drop", "d"),
                                  member("@:\\Old", "o")},
                            compressed),
                    "persist.pak"),
              0);
    ASSERT_EQ(vfs_delete("@:\\Drop"), 0);
    ASSERT_EQ(vfs_rename("@:\\Old", "New"), 0);
    pak_close(0);

    ASSERT_EQ(reopen("persist.pak"), 0);
    EXPECT_EQ(vfs_find_member("@:\\Drop", VFS_LOOKUP), nullptr);
    EXPECT_EQ(vfs_find_member("@:\\Old", VFS_LOOKUP), nullptr);
    EXPECT_EQ(read_member("@:\\New"), "o");
    EXPECT_EQ(read_member("@:\\Keep"), "k");
    EXPECT_EQ(g_archives[0].entryCount, 3);
  }
}

TEST_F(DeleteRename, RenameKeepsTheDirectoryPart) {
  struct RenameCase {
    int strip;
    const char* stored;
    const char* oldPath;
    const char* newName;
    const char* expected;  // the entry's name afterwards
  };
  const RenameCase cases[] = {
      {0, "#:\\A.TXT", "#:\\A.TXT", "B.TXT", "#:\\B.TXT"},
      {1, "A.TXT", "#:\\A.TXT", "B.TXT", "B.TXT"},
      {1, "SUB\\A.TXT", "#:\\SUB\\A.TXT", "B.TXT", "SUB\\B.TXT"},
      {0, "#:\\SUB\\A.TXT", "#:\\sub\\a.txt", "B.TXT", "#:\\sub\\B.TXT"},
      {1, "A.TXT", "#:A.TXT", "B.TXT", "B.TXT"},
  };
  for (const RenameCase& c : cases) {
    reset_process_state();
    SCOPED_TRACE(c.oldPath);
    ASSERT_EQ(mount(archive('#', {member(c.stored, "data"), member("#:\\Other", "x")}), "ren.pak"),
              0);
    vfs_set_prefix_strip(c.strip);
    ASSERT_EQ(vfs_rename(c.oldPath, c.newName), 0);
    EXPECT_STREQ(g_archives[0].directory[0].name, c.expected);
    EXPECT_EQ(g_archives[0].sortedIndex, nullptr);
    EXPECT_NE(g_archives[0].state & PAK_DIRTY, 0u);
    EXPECT_EQ(vfs_find_member(c.oldPath, VFS_LOOKUP), nullptr);
    const std::string renamed = std::string(c.strip ? "#:\\" : "") + c.expected;
    EXPECT_EQ(read_member(renamed.c_str()), "data");
  }
}

TEST_F(DeleteRename, RenamedNameMustFitTheField) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "fit.pak"), 0);
  const PakEntry before = g_archives[0].directory[0];
  EXPECT_EQ(vfs_rename("#:\\A", std::string(37, 'n').c_str()), -1);  // 3 + 37 = 40 bytes
  EXPECT_EQ(vfs_rename("#:\\A", std::string(500, 'n').c_str()), -1);
  EXPECT_EQ(vfs_rename("#:\\A", nullptr), -1);
  EXPECT_EQ(std::memcmp(&g_archives[0].directory[0], &before, sizeof before), 0);
  EXPECT_NE(g_archives[0].sortedIndex, nullptr);
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);

  const std::string fits(36, 'n');  // 39 bytes with the directory part
  ASSERT_EQ(vfs_rename("#:\\A", fits.c_str()), 0);
  EXPECT_EQ(read_member(("#:\\" + fits).c_str()), "a");
  // The name's tail is zero whatever the old name left there.
  ASSERT_EQ(vfs_rename(("#:\\" + fits).c_str(), "S"), 0);
  const PakEntry& e = g_archives[0].directory[0];
  for (size_t i = 4; i < PAK_NAME_SIZE; ++i) EXPECT_EQ(e.name[i], 0) << i;
  EXPECT_EQ(vfs_open_member_count(), 0);
}

TEST_F(DeleteRename, RenameOntoALiveNameLeavesTwoAndTheLaterWins) {
  ASSERT_EQ(mount(archive('#', {member("#:\\First", "1"), member("#:\\Second", "2")}), "dup.pak"),
            0);
  ASSERT_EQ(vfs_rename("#:\\Second", "First"), 0);
  EXPECT_EQ(read_member("#:\\First"), "2");
  ASSERT_EQ(vfs_delete("#:\\First"), 0);
  EXPECT_EQ(read_member("#:\\First"), "1");
}

TEST_F(DeleteRename, DeleteInTheNewerArchiveUncoversTheOlder) {
  ASSERT_EQ(mount(archive('@', {member("@:\\Same", "older")}), "a.pak"), 0);
  ASSERT_EQ(mount(archive('@', {member("@:\\Same", "newer")}), "b.pak"), 1);
  EXPECT_EQ(read_member("@:\\Same"), "newer");
  ASSERT_EQ(vfs_delete("@:\\Same"), 0);
  EXPECT_EQ(read_member("@:\\Same"), "older");
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);
  EXPECT_NE(g_archives[1].state & PAK_DIRTY, 0u);
}

TEST_F(DeleteRename, NoFreeRecordRefusesBoth) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A", "a"), member("@:\\B", "b")}), "full.pak"), 0);
  for (int i = 0; i < VFS_MAX_OPEN_FILES; ++i) ASSERT_GE(vfs_open("@:\\A", 0), 0);
  EXPECT_EQ(vfs_delete("@:\\B"), -1);
  EXPECT_EQ(vfs_rename("@:\\B", "C"), -1);
  EXPECT_NE(g_archives[0].directory[1].offset, 0);
  EXPECT_STREQ(g_archives[0].directory[1].name, "@:\\B");
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);
}

TEST_F(DeleteRename, DiskFilesUseTheHost) {
  const std::string a = dir_.join("a.txt");
  const std::string b = dir_.join("b.txt");
  ASSERT_TRUE(write_file_bytes(a, bytes_of("disk")));
  EXPECT_EQ(vfs_rename(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(vfs_open(a.c_str(), 0), -1);
  EXPECT_EQ(read_file_bytes(b), bytes_of("disk"));
  EXPECT_EQ(vfs_delete(b.c_str()), 0);
  EXPECT_EQ(vfs_delete(b.c_str()), -1);
  EXPECT_EQ(vfs_rename(a.c_str(), b.c_str()), -1);
}

using RenameWithExtension = VfsTest;

TEST_F(RenameWithExtension, DiskFileReplacesAnOlderTarget) {
  const std::string path = dir_.join("Update.PAK");
  const std::string target = dir_.join("Update.BAK");
  ASSERT_TRUE(write_file_bytes(path, bytes_of("new")));
  ASSERT_TRUE(write_file_bytes(target, bytes_of("older backup")));
  EXPECT_EQ(rename_with_extension(path.c_str(), ".BAK"), 0);
  EXPECT_EQ(read_file_bytes(target), bytes_of("new"));
  EXPECT_EQ(host_get_attributes(path.c_str()), HOST_NO_SUCH_FILE);
}

TEST_F(RenameWithExtension, MemberKeepsItsFolder) {
  ASSERT_EQ(mount(archive('#', {member("#:\\SUB\\A.TXT", "a"), member("#:\\B.TXT", "b")}),
                  "m.pak"),
            0);
  EXPECT_EQ(rename_with_extension("#:\\SUB\\A.TXT", ".OLD"), 0);
  EXPECT_EQ(read_member("#:\\SUB\\A.OLD"), "a");
  EXPECT_EQ(vfs_find_member("#:\\SUB\\A.TXT", VFS_LOOKUP), nullptr);
}

TEST_F(RenameWithExtension, RefusesTargetsThatDoNotFitOrAreTheFileItself) {
  // A target of 128 bytes or more, and a file that already has the extension (deleting the
  // target first would delete the file itself).
  const std::string longName = dir_.join(std::string(140 - dir_.path().size(), 'n') + ".pak");
  const std::string same = dir_.join("keep.bak");
  for (const std::string& path : {longName, same}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(write_file_bytes(path, bytes_of("content")));
    EXPECT_EQ(rename_with_extension(path.c_str(), ".BAK"), -1);
    EXPECT_EQ(read_file_bytes(path), bytes_of("content"));
  }
}

}  // namespace
