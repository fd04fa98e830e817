// The matching-member copy: members matching a pattern copied, inflated, into the archive at
// '@' under the same path; the copy stopping at a damaged member; found paths that would not
// fit the work area refused.
#include <filesystem>

#include "app/updater.h"
#include "update_fixture.h"

namespace {

class CopyTreeTest : public UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    ASSERT_GE(mount(archive('@', {}), "target.pak", PAK_OPEN_READWRITE), 0);
  }
  void mount_source(std::vector<FixtureMember> members) {
    ASSERT_GE(mount(archive('#', std::move(members), true), "source.pak", PAK_OPEN_READ), 0);
  }
};

TEST_F(CopyTreeTest, CopiesEveryMatchingMember) {
  mount_source({packed_member("#:\\Data\\a.txt", bytes_of("alpha")),
                packed_member("#:\\Data\\b.txt", bytes_of("bravo bravo")),
                packed_member("#:\\Other.bin", bytes_of("not matched")),
                packed_member("#:\\Data\\c.txt", Bytes(3000, 'c'))});
  EXPECT_EQ(CopyTree("#:\\Data\\*.txt"), 1);
  EXPECT_EQ(read_member("@:\\Data\\a.txt"), "alpha");
  EXPECT_EQ(read_member("@:\\Data\\b.txt"), "bravo bravo");
  EXPECT_EQ(read_member("@:\\Data\\c.txt"), std::string(3000, 'c'));
  EXPECT_EQ(read_member("@:\\Other.bin"), "");
  EXPECT_EQ(vfs_open_member_count(), 0);
}

TEST_F(CopyTreeTest, StopsAtADamagedMember) {
  Bytes damaged = pak_fixture_member_record(bytes_of("bravo bravo"));
  damaged[10] ^= 0x33;
  // The search goes from the newest entry back: a, then the damaged b, and c is never reached.
  mount_source({packed_member("#:\\c.txt", bytes_of("charlie")), FixtureMember{"#:\\b.txt", damaged},
                packed_member("#:\\a.txt", bytes_of("alpha"))});
  EXPECT_EQ(CopyTree("#:\\*.txt"), 0);
  EXPECT_EQ(read_member("@:\\a.txt"), "alpha");
  EXPECT_EQ(read_member("@:\\b.txt"), "");  // created, nothing written into it
  EXPECT_EQ(vfs_open("@:\\c.txt", 0), -1);
}

TEST_F(CopyTreeTest, NothingMatching) {
  mount_source({packed_member("#:\\a.txt", bytes_of("alpha"))});
  EXPECT_EQ(CopyTree("#:\\*.bin"), 0);
  EXPECT_EQ(vfs_open("@:\\a.txt", 0), -1);
}

TEST_F(CopyTreeTest, PathsTooLongForTheWorkAreaAreRefused) {
  // A disk search can find paths longer than a half of the work area.
  const std::string separator(1, TempDir::kSeparator);
  std::string folder = game_.path();
  while (folder.size() < 140) folder += separator + "deeper-folder";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(write_file_bytes(folder + separator + "a.txt",
                               pak_fixture_member_record(bytes_of("alpha"))));
  EXPECT_EQ(CopyTree((folder + separator + "*.txt").c_str()), 0);
  EXPECT_EQ(vfs_open("@:\\a.txt", 0), -1);
}

}  // namespace
