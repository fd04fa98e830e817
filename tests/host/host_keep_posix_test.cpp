// The POSIX host's steps that keep an update safe beyond the rename itself: the volume flush
// (syncfs), the copy of the security descriptor that Wine keeps beside a file, and which error
// numbers name a hold.
#include <errno.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <string>

#include "host/host.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

namespace {

constexpr char kWineDescriptor[] = "user.wine.sd";

class HostKeepPosixTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  std::string at(const std::string& name) const { return dir_.join(name); }

  static std::string descriptor_of(const std::string& path) {
    char value[256];
    const ssize_t n = getxattr(path.c_str(), kWineDescriptor, value, sizeof value);
    return n < 0 ? std::string("<none>") : std::string(value, size_t(n));
  }

  TempDir dir_;
};

TEST_F(HostKeepPosixTest, TheVolumeOfAFileOrFolderIsFlushed) {
  ASSERT_TRUE(write_file_bytes(at("game.exe"), bytes_of("game")));
  EXPECT_EQ(host_flush_volume(at("game.exe").c_str()), 0);
  EXPECT_EQ(host_flush_volume(dir_.path().c_str()), 0);
  EXPECT_EQ(host_flush_volume(at("missing").c_str()), -1);
}

TEST_F(HostKeepPosixTest, TheNewCopyTakesTheDescriptorWineKeepsForTheOldFile) {
  ASSERT_TRUE(write_file_bytes(at("INSTALL.DAT"), bytes_of("old")));
  ASSERT_TRUE(write_file_bytes(at("INSTALL.DAT.new"), bytes_of("new")));
  ASSERT_TRUE(write_file_bytes(at("plain.dat"), bytes_of("plain")));
  const std::string descriptor("\x01\x00\x04\x80users may modify", 19);
  if (setxattr(at("INSTALL.DAT").c_str(), kWineDescriptor, descriptor.data(), descriptor.size(),
               0) != 0) {
    GTEST_SKIP() << "no user extended attributes on this file system (errno " << errno << ")";
  }
  EXPECT_EQ(host_copy_access(at("INSTALL.DAT").c_str(), at("INSTALL.DAT.new").c_str()), 0);
  EXPECT_EQ(descriptor_of(at("INSTALL.DAT.new")), descriptor);
  EXPECT_EQ(descriptor_of(at("INSTALL.DAT")), descriptor);

  // An old file without one: nothing to keep, and nothing made up for the copy.
  EXPECT_EQ(host_copy_access(at("plain.dat").c_str(), at("INSTALL.DAT.new").c_str()), 0);
  EXPECT_EQ(descriptor_of(at("INSTALL.DAT.new")), descriptor);
  ASSERT_TRUE(write_file_bytes(at("fresh.new"), bytes_of("fresh")));
  EXPECT_EQ(host_copy_access(at("plain.dat").c_str(), at("fresh.new").c_str()), 0);
  EXPECT_EQ(descriptor_of(at("fresh.new")), "<none>");

  // A copy that is not there cannot take it.
  EXPECT_EQ(host_copy_access(at("INSTALL.DAT").c_str(), at("missing.new").c_str()), -1);
}

TEST_F(HostKeepPosixTest, ErrorNumbersOfAHold) {
  const struct {
    int error;
    HostRefusal refusal;
  } cases[] = {
      {EBUSY, HostRefusal::Held},    {ETXTBSY, HostRefusal::Held}, {EAGAIN, HostRefusal::Held},
      {EACCES, HostRefusal::Other},  {EPERM, HostRefusal::Other},  {ENOENT, HostRefusal::Other},
      {ENOSPC, HostRefusal::Other},  {0, HostRefusal::Other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(host_refusal_of(uint32_t(c.error)), c.refusal);
  }
}

}  // namespace
