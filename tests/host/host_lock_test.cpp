// Change locks and replacing a file that is in use, on either platform: one lock holder at a
// time, the lock kept across a replace of its file, no lock file left behind, and no replace
// of a file some handle holds open.
#include <gtest/gtest.h>

#include <string>

#include "host/host.h"
#include "support/fault_injection.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"
#include "support/virtual_clock.h"

namespace {

class HostLockTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  void TearDown() override { reset_process_state(); }

  std::string at(const std::string& name) const { return dir_.join(name); }
  static bool exists(const std::string& path) {
    return host_get_attributes(path.c_str()) != HOST_NO_SUCH_FILE;
  }
  static std::string text_of(const std::string& path) {
    const Bytes b = read_file_bytes(path);
    return std::string(b.begin(), b.end());
  }

  TempDir dir_;
};

TEST_F(HostLockTest, OneHolderAtATimeAndNoLockFileAfterwards) {
  const std::string archive = at("A.pak");
  const HostHandle first = host_lock(archive.c_str());
  ASSERT_GE(first, 0);
  EXPECT_TRUE(exists(archive + ".lock"));
  EXPECT_FALSE(exists(archive)) << "locking makes only the lock file";
  // Another lock handle, as another process would take it, and any spelling of the name.
  EXPECT_EQ(host_lock(archive.c_str()), HOST_IN_USE);
  EXPECT_EQ(host_lock(at("a.PAK").c_str()), HOST_IN_USE);
  EXPECT_EQ(host_unlock(archive.c_str(), first), 0);
  EXPECT_FALSE(exists(archive + ".lock"));

  const HostHandle again = host_lock(archive.c_str());
  ASSERT_GE(again, 0);
  EXPECT_EQ(host_unlock(archive.c_str(), again), 0);
}

TEST_F(HostLockTest, LockOutlivesAReplaceOfItsFile) {
  const std::string archive = at("A.pak");
  ASSERT_TRUE(write_file_bytes(archive, bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("copy.tmp"), bytes_of("new")));
  const HostHandle lock = host_lock(archive.c_str());
  ASSERT_GE(lock, 0);
  ASSERT_EQ(host_replace(at("copy.tmp").c_str(), archive.c_str()), 0);
  EXPECT_EQ(text_of(archive), "new");
  EXPECT_EQ(host_lock(archive.c_str()), HOST_IN_USE);
  EXPECT_EQ(host_unlock(archive.c_str(), lock), 0);
}

TEST_F(HostLockTest, LockFileLeftByAnEndedHolderIsTakenOver) {
  const std::string archive = at("A.pak");
  ASSERT_TRUE(write_file_bytes(archive + ".lock", bytes_of("")));
  const HostHandle lock = host_lock(archive.c_str());
  ASSERT_GE(lock, 0);
  EXPECT_EQ(host_unlock(archive.c_str(), lock), 0);
  EXPECT_FALSE(exists(archive + ".lock"));
}

TEST_F(HostLockTest, LockThatCannotBeMadeFails) {
  // No folder to hold the lock file, and a name with no room for ".lock".
  EXPECT_EQ(host_lock(at("missing/A.pak").c_str()), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_lock(std::string(HOST_PATH_ROOM - 3, 'n').c_str()), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_lock(nullptr), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_unlock(at("A.pak").c_str(), HOST_INVALID_HANDLE), -1);
}

TEST_F(HostLockTest, LockFailureIsInjectable) {
  HostFaults faults;
  faults.fail(HostOp::Lock, 1);
  EXPECT_EQ(host_lock(at("A.pak").c_str()), HOST_INVALID_HANDLE);
  EXPECT_FALSE(exists(at("A.pak.lock")));
  EXPECT_EQ(faults.calls(HostOp::Lock), 1);
}

TEST_F(HostLockTest, ReplaceWaitsForNoHandleOfTheTarget) {
  VirtualClock clock;  // the replace waits out the patience before it reports the hold
  for (const int mode : {HOST_MODE_READ, HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    SCOPED_TRACE(mode);
    const std::string target = at("target.pak");
    ASSERT_TRUE(write_file_bytes(target, bytes_of("held")));
    ASSERT_TRUE(write_file_bytes(at("copy.tmp"), bytes_of("copy")));
    const HostHandle held = host_open(target.c_str(), mode);
    ASSERT_NE(held, HOST_INVALID_HANDLE);
    EXPECT_EQ(host_replace(at("copy.tmp").c_str(), target.c_str()), HOST_IN_USE);
    EXPECT_EQ(host_close(held), 0);
    EXPECT_EQ(text_of(target), "held");
    EXPECT_EQ(text_of(at("copy.tmp")), "copy");
    // Once nothing holds it, the replace goes ahead; a missing target is no obstacle.
    ASSERT_EQ(host_replace(at("copy.tmp").c_str(), target.c_str()), 0);
    EXPECT_EQ(text_of(target), "copy");
    ASSERT_TRUE(write_file_bytes(at("copy.tmp"), bytes_of("fresh")));
    ASSERT_EQ(host_replace(at("copy.tmp").c_str(), at("fresh.pak").c_str()), 0);
    EXPECT_EQ(text_of(at("fresh.pak")), "fresh");
    ASSERT_EQ(host_delete(at("fresh.pak").c_str()), 0);
  }
}

}  // namespace
