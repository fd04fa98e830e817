// The fault-injection helper itself: counting, failing the nth call or every call from the
// nth on, short writes, and the host table put back afterwards.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

#include "support/fault_injection.h"
#include "support/temp_dir.h"
#include "host/host.h"

namespace {

TEST(HostFaults, CountsCallsAndFailsTheChosenOneOnly) {
  TempDir dir;
  const std::string path = dir.join("f.bin");
  HostFaults faults;
  faults.fail(HostOp::Create, 1);
  EXPECT_EQ(host_create(path.c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_get_attributes(path.c_str()), HOST_NO_SUCH_FILE);  // the host never saw it
  const HostHandle h = host_create(path.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  faults.fail(HostOp::Write, 2);
  EXPECT_EQ(host_write(h, "ab", 2), 2);
  EXPECT_EQ(host_write(h, "cd", 2), 0);
  EXPECT_EQ(host_write(h, "ef", 2), 2);
  EXPECT_EQ(host_size(h), 4);
  EXPECT_EQ(host_close(h), 0);
  EXPECT_EQ(faults.calls(HostOp::Create), 2);
  EXPECT_EQ(faults.calls(HostOp::Write), 3);
  EXPECT_EQ(faults.calls(HostOp::Size), 1);
  EXPECT_EQ(faults.calls(HostOp::Close), 1);
  EXPECT_EQ(faults.calls(HostOp::GetAttributes), 1);
  EXPECT_EQ(faults.calls(HostOp::Read), 0);
}

TEST(HostFaults, FailFromKeepsFailingAndResetForgets) {
  HostFaults faults;
  faults.fail_from(HostOp::Alloc, 2);
  void* first = mem_alloc(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(mem_alloc(8), nullptr);
  EXPECT_EQ(mem_alloc(8), nullptr);
  mem_free(first);
  EXPECT_EQ(faults.calls(HostOp::Free), 1);
  faults.reset();
  EXPECT_EQ(faults.calls(HostOp::Alloc), 0);
  void* again = mem_alloc(8);
  EXPECT_NE(again, nullptr);
  mem_free(again);
}

TEST(HostFaults, ShortWritePassesOnOnlyPartOfTheBytes) {
  TempDir dir;
  const std::string path = dir.join("short.bin");
  HostFaults faults;
  faults.short_write(2, 3);
  const HostHandle h = host_create(path.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "12345", 5), 5);
  EXPECT_EQ(host_write(h, "67890", 5), 3);
  EXPECT_EQ(host_size(h), 8);
  host_close(h);
}

TEST(HostFaults, TheTableIsRestoredAndOnlyOneMayLive) {
  const HostOps before = g_hostOps;
  {
    HostFaults faults;
    EXPECT_NE(g_hostOps.open, before.open);
    EXPECT_NONFATAL_FAILURE({ HostFaults second; }, "already active");
    EXPECT_NE(g_hostOps.open, before.open) << "the failed second one changed nothing";
  }
  EXPECT_EQ(g_hostOps.open, before.open);
  EXPECT_EQ(g_hostOps.alloc, before.alloc);
  EXPECT_EQ(g_hostOps.find_close, before.find_close);
}

}  // namespace
