// Case-blind lookup through the folders' indexes of folded names: kept right across the host
// layer's own creates, moves and deletes, and following changes made behind it (new names,
// removed names, a folder replaced by another of the same path).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/host.h"
#include "posix_helpers.h"
#include "support/temp_dir.h"

namespace {

bool found(const std::string& path) { return host_get_attributes(path.c_str()) != HOST_NO_SUCH_FILE; }

// What the file a case-blind path resolves to holds.
std::string content(const std::string& path) {
  const HostHandle h = host_open(path.c_str(), HOST_MODE_READ);
  char bytes[16] = {};
  const int32_t n = host_read(h, bytes, sizeof bytes);
  host_close(h);
  return std::string(bytes, size_t(n));
}

TEST(CaseIndex, OwnChangesKeepLookupsRight) {
  TempDir dir;
  for (int i = 0; i < 200; ++i) {
    const HostHandle h = host_create(dir.join("Name" + std::to_string(i) + ".dat").c_str(), 0);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    host_close(h);
  }
  // Every create met an index that the creates before it had kept up to date.
  for (int i = 0; i < 200; i += 37) EXPECT_TRUE(found(dir.join("NAME" + std::to_string(i) + ".DAT")));
  EXPECT_FALSE(found(dir.join("NAME200.DAT")));

  ASSERT_EQ(host_move(dir.join("name1.dat").c_str(), dir.join("Moved.DAT").c_str()), 0);
  EXPECT_FALSE(found(dir.join("NAME1.DAT")));
  EXPECT_TRUE(exists_plain(dir.join("Moved.DAT")));
  ASSERT_EQ(host_delete(dir.join("MOVED.dat").c_str()), 0);
  EXPECT_FALSE(found(dir.join("moved.dat")));
  ASSERT_EQ(host_make_dir(dir.join("Sub").c_str()), 0);
  EXPECT_TRUE(found(dir.join("SUB")));
  ASSERT_EQ(host_remove_dir(dir.join("sub").c_str()), 0);
  EXPECT_FALSE(found(dir.join("SUB")));

  // A create meeting the name in another case reuses it; a new one is made as written.
  const HostHandle again = host_create(dir.join("NAME2.DAT").c_str(), 0);
  host_close(again);
  EXPECT_FALSE(exists_plain(dir.join("NAME2.DAT")));
  const HostHandle made = host_create(dir.join("New.Txt").c_str(), 0);
  EXPECT_EQ(host_write(made, "n", 1), 1);
  host_close(made);
  EXPECT_TRUE(exists_plain(dir.join("New.Txt")));
  EXPECT_EQ(content(dir.join("NEW.TXT")), "n");
}

TEST(CaseIndex, ChangesBehindTheIndexAreSeen) {
  TempDir dir;
  const std::string folder = dir.join("Data");
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  ASSERT_TRUE(write_plain(folder + "/File.txt", "f"));
  EXPECT_TRUE(found(folder + "/FILE.TXT"));  // the index is built here

  ASSERT_TRUE(write_plain(folder + "/Other.Txt", "o"));
  EXPECT_TRUE(found(folder + "/OTHER.TXT"));
  ASSERT_EQ(unlink((folder + "/File.txt").c_str()), 0);
  EXPECT_FALSE(found(folder + "/FILE.TXT"));

  // Two names that fold alike: the smaller byte-wise is taken, the other once it is gone.
  ASSERT_TRUE(write_plain(folder + "/other.txt", "o2"));
  EXPECT_EQ(content(folder + "/OTHER.txt"), "o");  // from Other.Txt
  ASSERT_EQ(host_delete((folder + "/Other.Txt").c_str()), 0);
  EXPECT_EQ(content(folder + "/OTHER.txt"), "o2");

  // The same path, another folder.
  ASSERT_EQ(rename(folder.c_str(), dir.join("Old").c_str()), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  ASSERT_TRUE(write_plain(folder + "/Third.txt", "t"));
  EXPECT_TRUE(found(folder + "/THIRD.TXT"));
  EXPECT_FALSE(found(folder + "/OTHER.TXT"));
}

}  // namespace
