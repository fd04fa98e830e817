// One change of an archive at a time: every changing command refuses an archive under another
// change ("in use by another change") and one that another handle holds open ("in use"),
// leaving it as it was with no working copy, while reading commands need no lock.
#include "pak_tool_fixture.h"
#include "support/fault_injection.h"

namespace {

class ChangeLockTest : public PakToolTest {
 protected:
  void SetUp() override {
    PakToolTest::SetUp();
    FixtureArchive a;
    a.compressed = true;
    a.members = {{"one.txt", pak_fixture_member_record(bytes_of("one")), false, 0},
                 {"x.txt", bytes_of("x"), false, 0},
                 {"gone", bytes_of("dead"), true, 0}};
    archive_ = put("A.pak", pak_fixture_bytes(a));
    put("new.txt", "new");
  }

  // Every changing command, run on the archive; in this order each succeeds on its own.
  std::vector<std::vector<std::string>> changes() const {
    return {{"add", archive_, file("new.txt")},
            {"rename", archive_, "one.txt", "two.txt"},
            {"delete", archive_, "x.txt"},
            {"compact", archive_},
            {"create", archive_}};
  }

  // Each change must fail with exactly this message and leave the archive and its folder as
  // they were.
  void expect_each_refused(const std::string& message) {
    const Bytes before = read_file_bytes(archive_);
    for (const std::vector<std::string>& args : changes()) {
      SCOPED_TRACE(args[0]);
      const ToolRun r = pak(args);
      EXPECT_EQ(r.code, PAK_EXIT_FAILED);
      EXPECT_EQ(r.err, message);
      EXPECT_EQ(read_file_bytes(archive_), before);
      EXPECT_TRUE(leftovers().empty()) << testing::PrintToString(leftovers());
    }
  }

  std::string archive_;
};

TEST_F(ChangeLockTest, ArchiveUnderAnotherChangeIsRefused) {
  const HostHandle other = host_lock(archive_.c_str());
  ASSERT_GE(other, 0);
  expect_each_refused("pak: " + archive_ + ": in use by another change\n");
  // Readers take no lock.
  EXPECT_EQ(pak({"list", archive_}).code, PAK_EXIT_OK);
  EXPECT_EQ(pak({"cat", archive_, "one.txt"}).out, "one");
  EXPECT_EQ(pak({"verify", archive_}).code, PAK_EXIT_OK);
  EXPECT_TRUE(exists_on_disk(archive_ + ".lock")) << "the other change's lock stays its own";
  ASSERT_EQ(host_unlock(archive_.c_str(), other), 0);

  EXPECT_EQ(pak({"add", archive_, file("new.txt")}).code, PAK_EXIT_OK);
  EXPECT_EQ(entries_of(archive_).size(), 4u);
}

TEST_F(ChangeLockTest, NewArchiveUnderAnotherChangeIsNotCreated) {
  const std::string fresh = file("fresh.pak");
  const HostHandle other = host_lock(fresh.c_str());
  ASSERT_GE(other, 0);
  const ToolRun r = pak({"create", fresh});
  EXPECT_EQ(r.code, PAK_EXIT_FAILED);
  EXPECT_EQ(r.err, "pak: " + fresh + ": in use by another change\n");
  EXPECT_FALSE(exists_on_disk(fresh));
  ASSERT_EQ(host_unlock(fresh.c_str(), other), 0);
  EXPECT_EQ(pak({"create", fresh}).code, PAK_EXIT_OK);
}

TEST_F(ChangeLockTest, ArchiveOpenElsewhereIsNotReplaced) {
  const HostHandle reader = host_open(archive_.c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  expect_each_refused("pak: " + archive_ +
                      ": in use: another program has it open, so it is left as it was\n");
  EXPECT_EQ(host_close(reader), 0);
  EXPECT_FALSE(exists_on_disk(archive_ + ".lock"));

  // A writer's handle shares nothing: the change cannot even read the archive.
  const Bytes before = read_file_bytes(archive_);
  const HostHandle writer = host_open(archive_.c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(writer, HOST_INVALID_HANDLE);
  EXPECT_EQ(pak({"add", archive_, file("new.txt")}).code, PAK_EXIT_FAILED);
  EXPECT_EQ(host_close(writer), 0);
  EXPECT_EQ(read_file_bytes(archive_), before);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ChangeLockTest, ChangesLeaveNoLockFileBehind) {
  for (const std::vector<std::string>& args : changes()) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(pak(args).code, PAK_EXIT_OK);
    EXPECT_FALSE(exists_on_disk(archive_ + ".lock"));
  }
  // A failed change gives its lock up as well.
  EXPECT_EQ(pak({"delete", archive_, "missing.txt"}).code, PAK_EXIT_FAILED);
  EXPECT_FALSE(exists_on_disk(archive_ + ".lock"));
}

TEST_F(ChangeLockTest, LockThatCannotBeTakenStopsTheChange) {
  HostFaults faults;
  faults.fail_from(HostOp::Lock, 1);
  expect_each_refused("pak: " + archive_ + ": cannot take its change lock (" + archive_ +
                      ".lock)\n");
}

}  // namespace
