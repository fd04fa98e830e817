// Directory search: archive searches across stacked archives, the prefix switch, full-path
// results that open again, the directory mask, bounded patterns, and disk searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/vfs_fixture.h"
#include "vfs/delete_rename.h"
#include "vfs/search.h"

namespace {

using Search = VfsTest;

// Every name a search yields, first call included.
std::vector<std::string> all_names(const char* pattern, uint32_t mask = HOST_ATTR_NORMAL) {
  std::vector<std::string> out;
  char name[VFS_NAME_ROOM];
  for (int r = vfs_find_first(pattern, mask, name); r == 0; r = vfs_find_next(name)) {
    out.emplace_back(name);
  }
  return out;
}

TEST_F(Search, RunsAcrossTwoArchivesNewestFirst) {
  ASSERT_EQ(mount(archive('@', {member("@:\\Old1.txt", "1"), member("@:\\Gone.txt", "g", true),
                                member("@:\\Old2.txt", "2"), member("@:\\Skip.doc", "d")}),
                  "older.pak"),
            0);
  ASSERT_EQ(mount(archive('@', {member("@:\\New1.txt", "1"), member("@:\\New2.txt", "2")}),
                  "newer.pak"),
            1);
  ASSERT_EQ(vfs_delete("@:\\New1.txt"), 0);
  const std::vector<std::string> expected = {"New2.txt", "Old2.txt", "Old1.txt"};
  EXPECT_EQ(all_names("@:\\*.txt"), expected);

  char name[VFS_NAME_ROOM] = "unchanged";
  EXPECT_EQ(vfs_find_next(name), -1);  // stays ended
  EXPECT_EQ(vfs_find_next(name), -1);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(vfs_find_first("@:\\*.none", HOST_ATTR_NORMAL, name), -1);
  EXPECT_EQ(vfs_find_next(name), -1);
  EXPECT_STREQ(name, "unchanged");
}

TEST_F(Search, DirectoryMaskFailsAtOnceInArchives) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A.txt", "a")}), "mask.pak"), 0);
  char name[VFS_NAME_ROOM];
  EXPECT_EQ(vfs_find_first("@:\\*.*", HOST_ATTR_DIRECTORY | HOST_ATTR_NORMAL, name), -1);
  EXPECT_EQ(vfs_find_next(name), -1);
  EXPECT_EQ(vfs_find_first("@:\\*.*", 0, name), 0);  // members have no attributes to filter
}

TEST_F(Search, PrefixSwitchDecidesNamesAndDirectoryPart) {
  ASSERT_EQ(mount(archive('@', {member("Update02.txt", "u"), member("@:\\Update01.txt", "p"),
                                member("SUB\\Deep.txt", "d")}),
                  "update.pak"),
            0);
  vfs_set_prefix_strip(1);
  EXPECT_EQ(all_names("@:\\Update02.txt"), std::vector<std::string>{"Update02.txt"});
  EXPECT_EQ(all_names("@:\\Update01.txt"), std::vector<std::string>{});
  EXPECT_EQ(all_names("@:\\SUB\\*.txt"), std::vector<std::string>{"Deep.txt"});
  vfs_set_prefix_strip(0);
  EXPECT_EQ(all_names("@:\\Update02.txt"), std::vector<std::string>{});
  EXPECT_EQ(all_names("@:\\Update01.txt"), std::vector<std::string>{"Update01.txt"});
}

TEST_F(Search, FullPathsOpenTheMembersAgain) {
  ASSERT_EQ(mount(archive('#', {member("#:\\Velmor.EXE", "exe"), member("#:\\Update.PAK", "pak")}),
                  "payload.pak"),
            0);
  char path[VFS_NAME_ROOM];
  std::vector<std::string> paths;
  for (int r = vfs_find_first_path("#:\\*.*", HOST_ATTR_NORMAL, path); r == 0;
       r = vfs_find_next_path(path)) {
    paths.emplace_back(path);
  }
  ASSERT_EQ(paths, (std::vector<std::string>{"#:\\Update.PAK", "#:\\Velmor.EXE"}));
  EXPECT_EQ(read_member(paths[0].c_str()), "pak");
  EXPECT_EQ(read_member(paths[1].c_str()), "exe");

  // A pattern without '\' after the prefix still gets one in the joined path.
  ASSERT_EQ(vfs_find_first_path("#:*.EXE", HOST_ATTR_NORMAL, path), -1);  // names keep "#:\"
  vfs_set_prefix_strip(1);
  ASSERT_EQ(mount(archive('$', {member("Bare.txt", "b")}), "bare.pak"), 1);
  ASSERT_EQ(vfs_find_first_path("$:*.txt", HOST_ATTR_NORMAL, path), 0);
  EXPECT_STREQ(path, "$:\\Bare.txt");
  EXPECT_EQ(read_member(path), "b");
}

TEST_F(Search, PatternsMustFitTheSearchBuffer) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A.txt", "a")}), "long.pak"), 0);
  char name[VFS_NAME_ROOM];
  // '*' with no '.' after it matches everything, whatever follows it.
  const std::string fits = "@:\\*" + std::string(VFS_NAME_ROOM - 5, 'x');
  ASSERT_EQ(fits.size(), size_t(VFS_NAME_ROOM - 1));
  EXPECT_EQ(vfs_find_first(fits.c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "A.txt");
  EXPECT_EQ(vfs_find_first((fits + "x").c_str(), HOST_ATTR_NORMAL, name), -1);
  EXPECT_EQ(vfs_find_next(name), -1);  // the refused pattern ended the search
  EXPECT_EQ(vfs_find_first(nullptr, HOST_ATTR_NORMAL, name), -1);
}

// The resume point is a position, so a directory that grows (and moves) between find calls,
// or an archive closed between them, never sends the search into freed memory.
TEST_F(Search, ResumeSurvivesDirectoryChanges) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A1", "a"), member("@:\\A2", "b"), member("@:\\A3", "c")}),
                  "resume.pak"),
            0);
  char name[VFS_NAME_ROOM];
  ASSERT_EQ(vfs_find_first("@:\\A*", HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "A3");
  for (int i = 0; i < 70; ++i) {  // grows the 3-entry directory twice
    vfs_close(vfs_create_new(("@:\\B" + std::to_string(i)).c_str(), 0));
  }
  ASSERT_EQ(vfs_find_next(name), 0);
  EXPECT_STREQ(name, "A2");

  ASSERT_EQ(mount(archive('@', {member("@:\\Z1", "z")}), "second.pak"), 1);
  ASSERT_EQ(vfs_find_first("@:\\*", HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "Z1");
  pak_close(1);
  ASSERT_EQ(vfs_find_next(name), 0);  // goes on in the older archive
  EXPECT_STREQ(name, "B69");
  pak_close(0);
  EXPECT_EQ(vfs_find_next(name), -1);
}

TEST_F(Search, DiskSearchesGoToTheHost) {
  ASSERT_TRUE(write_file_bytes(dir_.join("one.txt"), bytes_of("1")));
  ASSERT_TRUE(write_file_bytes(dir_.join("two.txt"), bytes_of("2")));
  ASSERT_TRUE(write_file_bytes(dir_.join("three.doc"), bytes_of("3")));
  const std::string pattern = dir_.join("*.txt");
  std::vector<std::string> names = all_names(pattern.c_str());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "two.txt"}));

  char path[VFS_NAME_ROOM];
  ASSERT_EQ(vfs_find_first_path(pattern.c_str(), HOST_ATTR_NORMAL, path), 0);
  const std::string found = path;
  EXPECT_EQ(found.rfind(dir_.path(), 0), 0u) << found;
  const int32_t h = vfs_open(path, 0);
  EXPECT_GE(h, 0) << path;
  vfs_close(h);
  char name[VFS_NAME_ROOM];
  EXPECT_EQ(vfs_find_first(dir_.join("*.none").c_str(), HOST_ATTR_NORMAL, name), -1);
  EXPECT_STREQ(name, "");
}

}  // namespace
