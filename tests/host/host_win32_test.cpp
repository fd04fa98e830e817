// Win32 host backend specifics: handle values kept out of the member-handle range, files of
// 2 GiB and devices refused, a refused flush reported, hidden and system attributes kept, and
// the environment paths' buffer limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "support/reset_state.h"
#include "host/host.h"

namespace {

class HostWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }

  std::string at(const std::string& name) const { return dir_.join(name); }

  enum class Made { Yes, NotSparse, Failed };

  // Makes a file of the given size without writing its bytes. A file system that cannot keep
  // it sparse would write them all; that shows on a small probe first, and nothing large is made.
  Made make_file_of_size(const std::string& name, int64_t size) {
    const HANDLE h = CreateFileA(at(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Made::Failed;
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    constexpr int64_t PROBE = 64 << 20;
    Made made = extend(h, PROBE) ? Made::Yes : Made::Failed;
    FILE_STANDARD_INFO info{};
    if (made == Made::Yes &&
        (!GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info) ||
         info.AllocationSize.QuadPart >= PROBE)) {
      made = Made::NotSparse;
    }
    if (made == Made::Yes && !extend(h, size)) made = Made::Failed;
    CloseHandle(h);
    if (made != Made::Yes) DeleteFileA(at(name).c_str());
    return made;
  }

  static bool extend(HANDLE h, int64_t size) {
    LARGE_INTEGER end;
    end.QuadPart = size;
    return SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
  }

  TempDir dir_;
};

TEST_F(HostWin32Test, HandlesSkipTheMemberHandleRange) {
  const std::string path = at("many.bin");
  const HostHandle first = host_create(path.c_str(), 0);
  ASSERT_NE(first, HOST_INVALID_HANDLE);
  ASSERT_EQ(host_write(first, "data", 4), 4);
  ASSERT_EQ(host_close(first), 0);

  // Handle values grow as handles stay open; keep opening until they have passed the range.
  std::vector<HostHandle> open;
  bool passed = false;
  while (!passed && open.size() < 8000) {
    const HostHandle h = host_open(path.c_str(), HOST_MODE_READ);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    EXPECT_FALSE(h >= 20000 && h <= 20009) << h;
    open.push_back(h);
    passed = h > 20009;
  }
  EXPECT_TRUE(passed) << "handle values never passed the member range";

  // A handle made past the range is a working one and keeps its sharing.
  char text[5] = {};
  EXPECT_EQ(host_read(open.back(), text, 4), 4);
  EXPECT_STREQ(text, "data");
  EXPECT_EQ(host_open(path.c_str(), HOST_MODE_WRITE), HOST_INVALID_HANDLE);
  for (HostHandle h : open) EXPECT_EQ(host_close(h), 0);
  // Nothing is left holding the file.
  EXPECT_EQ(host_delete(path.c_str()), 0);
}

TEST_F(HostWin32Test, FilesOfTwoGibibytesAreRefused) {
  for (const auto& [name, size] : {std::pair{"largest.bin", HOST_MAX_FILE_SIZE},
                                   std::pair{"too-large.bin", HOST_MAX_FILE_SIZE + 1}}) {
    const Made made = make_file_of_size(name, size);
    if (made == Made::NotSparse) GTEST_SKIP() << "no sparse files here";
    ASSERT_EQ(made, Made::Yes) << name;
  }

  const HostHandle h = host_open(at("largest.bin").c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(h), HOST_MAX_FILE_SIZE);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_END), HOST_MAX_FILE_SIZE);
  EXPECT_EQ(host_write(h, "x", 1), 0);  // would reach 2 GiB
  EXPECT_EQ(host_size(h), HOST_MAX_FILE_SIZE);
  EXPECT_EQ(host_close(h), 0);

  for (int mode : {HOST_MODE_READ, HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(host_open(at("too-large.bin").c_str(), mode), HOST_INVALID_HANDLE);
  }
  // Refused, not held: the file can go at once.
  EXPECT_EQ(host_delete(at("too-large.bin").c_str()), 0);
  EXPECT_EQ(host_delete(at("largest.bin").c_str()), 0);
}

TEST_F(HostWin32Test, DevicesAreNoFiles) {
  for (const char* device : {"NUL", "CON", "\\\\.\\NUL", "CONIN$"}) {
    SCOPED_TRACE(device);
    EXPECT_EQ(host_open(device, HOST_MODE_READ), HOST_INVALID_HANDLE);
    EXPECT_EQ(host_open(device, HOST_MODE_READWRITE), HOST_INVALID_HANDLE);
    EXPECT_EQ(host_create(device, 0), HOST_INVALID_HANDLE);
  }
}

// A flush that the system refuses is a failure, whatever the reason: only a handle opened for
// writing can be flushed, and the library flushes only those.
TEST_F(HostWin32Test, AFlushThatTheSystemRefusesIsAFailure) {
  const HostHandle h = host_create(at("flush.bin").c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "abc", 3), 3);
  EXPECT_EQ(host_flush(h), 0);
  EXPECT_EQ(host_close(h), 0);
  const HostHandle reader = host_open(at("flush.bin").c_str(), HOST_MODE_READ);
  ASSERT_NE(reader, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_flush(reader), -1);
  EXPECT_EQ(host_close(reader), 0);
  for (int mode : {HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    const HostHandle writer = host_open(at("flush.bin").c_str(), mode);
    ASSERT_NE(writer, HOST_INVALID_HANDLE);
    EXPECT_EQ(host_flush(writer), 0);
    EXPECT_EQ(host_close(writer), 0);
  }
}

TEST_F(HostWin32Test, CreateKeepsHiddenAndSystemAttributes) {
  struct {
    uint32_t attributes;
    uint32_t kept;
  } const cases[] = {
      {HOST_ATTR_HIDDEN, HOST_ATTR_HIDDEN},
      {HOST_ATTR_SYSTEM, HOST_ATTR_SYSTEM},
      {HOST_ATTR_HIDDEN | HOST_ATTR_SYSTEM | HOST_ATTR_READONLY,
       HOST_ATTR_HIDDEN | HOST_ATTR_SYSTEM | HOST_ATTR_READONLY},
      {HOST_ATTR_NORMAL, 0},
  };
  const uint32_t dosBits = HOST_ATTR_READONLY | HOST_ATTR_HIDDEN | HOST_ATTR_SYSTEM;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    const std::string path = at("flagged.bin");
    const HostHandle h = host_create(path.c_str(), c.attributes);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    EXPECT_EQ(host_close(h), 0);
    EXPECT_EQ(host_get_attributes(path.c_str()) & dosBits, c.kept);

    // A search for exactly those bits reports the file.
    char name[HOST_PATH_ROOM];
    if (c.kept != 0) {
      ASSERT_EQ(host_find_first(at("*").c_str(), c.kept, name), 0);
      EXPECT_STREQ(name, "flagged.bin");
      EXPECT_EQ(host_find_next(name), -1);
    }
    EXPECT_EQ(host_force_delete(path.c_str()), 0);
  }
}

// Each environment path: whole when it fits with its terminator, else 0 and an empty buffer.
TEST(HostWin32Environment, PathsFitWholeOrNotAtAll) {
  char expected[MAX_PATH];
  struct {
    const char* what;
    size_t (*get)(char*, size_t);
    DWORD length;
  } const cases[] = {
      {"windows", host_windows_dir, GetWindowsDirectoryA(expected, MAX_PATH)},
      {"current", host_current_dir, GetCurrentDirectoryA(MAX_PATH, expected)},
      {"module", host_module_path, GetModuleFileNameA(nullptr, expected, MAX_PATH)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_GT(c.length, 0u);
    ASSERT_LT(c.length, static_cast<DWORD>(MAX_PATH));
    char buffer[MAX_PATH + 8];
    EXPECT_EQ(c.get(buffer, sizeof buffer), c.length);
    EXPECT_EQ(strlen(buffer), c.length);

    // Exactly room for text and terminator, then one byte short.
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(c.get(buffer, c.length + 1), c.length);
    EXPECT_EQ(buffer[c.length], '\0');
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(c.get(buffer, c.length), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[c.length], 'x') << "written past the room given";
    EXPECT_EQ(c.get(buffer, 0), 0u);
    EXPECT_EQ(c.get(nullptr, sizeof buffer), 0u);
  }

  char module[MAX_PATH];
  ASSERT_GT(host_module_path(module, sizeof module), 4u);
  EXPECT_EQ(_stricmp(module + strlen(module) - 4, ".exe"), 0) << module;
}

}  // namespace
