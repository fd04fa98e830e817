// The POSIX host backend's own mapping: sharing across processes, drive letters through the
// Wine prefix, relative and odd paths, the 2 GiB refusal, handle numbers and permissions.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/virtual_clock.h"
#include "host/host.h"
#include "host/host_posix.h"
#include "posix_helpers.h"

namespace {

// Changes the working folder for one scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir) {
    char old[4096];
    if (getcwd(old, sizeof old) != nullptr) old_ = old;
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~ScopedCwd() {
    if (!old_.empty() && chdir(old_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << old_;
  }

 private:
  std::string old_;
};

// A child process that holds a file through the host layer until released.
class ChildHolder {
 public:
  // mode >= 0: host_open with that mode; -1: host_create.
  ChildHolder(const std::string& path, int mode) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) {
      ADD_FAILURE() << "pipe";
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(go[1]);
      const HostHandle h = mode < 0 ? host_create(path.c_str(), 0) : host_open(path.c_str(), mode);
      const char opened = h != HOST_INVALID_HANDLE ? 'y' : 'n';
      char byte;
      if (write(ready[1], &opened, 1) == 1) (void)!read(go[0], &byte, 1);  // waits for release
      _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char opened = 'n';
    opened_ = read(ready[0], &opened, 1) == 1 && opened == 'y';
    close(ready[0]);
  }
  ~ChildHolder() { release(); }

  bool opened() const { return opened_; }
  void release() {
    if (pid_ <= 0) return;
    close(go_);  // the child's read returns and it exits
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool opened_ = false;
};

mode_t permissions_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(HostPosix, SharingHoldsAcrossProcesses) {
  VirtualClock clock;  // a delete waits out the patience before it fails
  struct {
    const char* description;
    int childMode;  // -1: the child created the file
    int parentMode;
    bool parentOpens;
  } const cases[] = {
      {"readers share", HOST_MODE_READ, HOST_MODE_READ, true},
      {"a reader keeps a read-writer out", HOST_MODE_READ, HOST_MODE_READWRITE, false},
      {"a reader keeps a writer out", HOST_MODE_READ, HOST_MODE_WRITE, false},
      {"a writer keeps a reader out", HOST_MODE_WRITE, HOST_MODE_READ, false},
      {"a read-writer keeps a reader out", HOST_MODE_READWRITE, HOST_MODE_READ, false},
      {"a creator keeps a reader out", -1, HOST_MODE_READ, false},
  };
  TempDir dir;
  const std::string path = dir.join("shared.bin");
  const std::string other = dir.join("other.bin");
  ASSERT_TRUE(write_plain(path, "bytes"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    ChildHolder child(path, c.childMode);
    ASSERT_TRUE(child.opened());
    const HostHandle h = host_open(path.c_str(), c.parentMode);
    EXPECT_EQ(h != HOST_INVALID_HANDLE, c.parentOpens);
    host_close(h);
    // Whatever the mode, an open file is neither replaced, deleted nor moved.
    EXPECT_EQ(host_create(path.c_str(), 0), HOST_INVALID_HANDLE);
    EXPECT_EQ(host_delete(path.c_str()), -1);
    EXPECT_EQ(host_move(path.c_str(), other.c_str()), -1);
    child.release();
    const HostHandle again = host_open(path.c_str(), HOST_MODE_READWRITE);
    EXPECT_NE(again, HOST_INVALID_HANDLE);
    host_close(again);
  }
  EXPECT_TRUE(exists_plain(path));
  EXPECT_FALSE(exists_plain(other));
}

TEST(HostPosix, AReadOnlyCreateAdmitsReadersOnly) {
  TempDir dir;
  const std::string path = dir.join("ro.bin");
  const HostHandle creator = host_create(path.c_str(), HOST_ATTR_READONLY);
  ASSERT_NE(creator, HOST_INVALID_HANDLE);
  const HostHandle reader = host_open(path.c_str(), HOST_MODE_READ);
  EXPECT_NE(reader, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open(path.c_str(), HOST_MODE_READWRITE), HOST_INVALID_HANDLE);
  host_close(reader);
  host_close(creator);
  EXPECT_EQ(permissions_of(path) & 0222, 0u);

  // Recreating it read-only while another handle reads it would cut the file under the reader.
  ASSERT_EQ(host_set_attributes(path.c_str(), HOST_ATTR_NORMAL), 0);
  ASSERT_TRUE(write_plain(path, "still here"));
  ChildHolder child(path, HOST_MODE_READ);
  ASSERT_TRUE(child.opened());
  EXPECT_EQ(host_create(path.c_str(), HOST_ATTR_READONLY), HOST_INVALID_HANDLE);
  child.release();
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 10);
  const HostHandle again = host_create(path.c_str(), HOST_ATTR_READONLY);
  ASSERT_NE(again, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(again), 0);
  host_close(again);
}

// A Wine-style prefix: dosdevices/c: links to drive_c.
class WinePrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir(prefix_.join("drive_c").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(prefix_.join("dosdevices").c_str(), 0777), 0);
    ASSERT_EQ(symlink("../drive_c", prefix_.join("dosdevices/c:").c_str()), 0);
  }
  std::string drive_c(const std::string& rest) const { return prefix_.join("drive_c/" + rest); }

  TempDir prefix_;
};

TEST_F(WinePrefixTest, DriveLettersMapIntoTheDosDevicesFolder) {
  ScopedEnv env("WINEPREFIX", prefix_.path());
  ASSERT_EQ(host_make_dir("C:\\Game"), 0);
  EXPECT_TRUE(exists_plain(drive_c("Game")));

  // Case of the letter and of every name is free; '/' works as well as '\'.
  const HostHandle h = host_create("c:\\GAME\\Data.txt", 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "abc", 3), 3);
  host_close(h);
  EXPECT_TRUE(exists_plain(drive_c("Game/Data.txt")));
  struct {
    const char* path;
    bool found;
  } const lookups[] = {
      {"C:\\Game\\Data.txt", true}, {"C:/game/DATA.TXT", true}, {"C:Game\\Data.txt", true},
      {"C:\\Game\\", true},         {"C:", true},               {"D:\\Game\\Data.txt", false},
      {"C:\\Game\\Data.txt\\", false},
      {"C:\\..\\..\\Game\\.\\Data.txt", true},  // '..' stops at the drive's root
      {"C:\\Game\\..\\Game\\Data.txt", true},     {"C:\\..\\outside.txt", false},
  };
  ASSERT_TRUE(write_plain(prefix_.join("outside.txt"), "beyond the drive"));
  for (const auto& l : lookups) {
    SCOPED_TRACE(l.path);
    EXPECT_EQ(host_get_attributes(l.path) != HOST_NO_SUCH_FILE, l.found);
  }
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first("C:\\game\\*.*", HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "Data.txt");
  EXPECT_EQ(host_find_next(name), -1);
  ASSERT_EQ(host_find_first("C:*", HOST_ATTR_DIRECTORY, name), 0);
  while (strcmp(name, "Game") != 0) ASSERT_EQ(host_find_next(name), 0);
  while (host_find_next(name) == 0) {
  }
  EXPECT_EQ(host_move("C:\\Game\\Data.txt", "C:\\Moved.txt"), 0);
  EXPECT_TRUE(exists_plain(drive_c("Moved.txt")));
}

TEST_F(WinePrefixTest, TheWindowsFolderIsDriveCWindows) {
  ScopedEnv env("WINEPREFIX", prefix_.path());
  char windows[HOST_PATH_ROOM];
  ASSERT_EQ(host_windows_dir(windows, sizeof windows), 10u);
  EXPECT_STREQ(windows, "C:\\windows");
  ASSERT_EQ(mkdir(drive_c("windows").c_str(), 0777), 0);
  ASSERT_TRUE(write_plain(drive_c("windows/VELMOR.INI"), "[INI]\n"));
  const std::string settings = std::string(windows) + "\\Velmor.ini";
  const HostHandle h = host_open(settings.c_str(), HOST_MODE_READ);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(h), 6);
  host_close(h);

  char small[10];
  EXPECT_EQ(host_windows_dir(small, sizeof small), 0u);
  EXPECT_STREQ(small, "");
}

TEST_F(WinePrefixTest, WithoutWinePrefixTheHomeFolderPrefixIsUsed) {
  ASSERT_EQ(symlink(prefix_.path().c_str(), prefix_.join(".wine").c_str()), 0);
  ScopedEnv unset("WINEPREFIX", std::nullopt);
  ScopedEnv home("HOME", prefix_.path());
  ASSERT_TRUE(write_plain(drive_c("home.txt"), "h"));
  EXPECT_NE(host_get_attributes("C:\\home.txt"), HOST_NO_SUCH_FILE);
}

TEST_F(WinePrefixTest, APrefixTooLongForAnyPathFailsCleanly) {
  ScopedEnv env("WINEPREFIX", "/" + std::string(4090, 'p'));
  EXPECT_EQ(host_open("C:\\x.txt", HOST_MODE_READ), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_create("C:\\x.txt", 0), HOST_INVALID_HANDLE);
  char name[HOST_PATH_ROOM];
  EXPECT_EQ(host_find_first("C:\\*.*", HOST_ATTR_NORMAL, name), -1);
}

TEST(HostPosix, RelativePathsAndBackslashes) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.join("Sub").c_str(), 0777), 0);
  ScopedCwd cwd(dir.path());
  char current[HOST_PATH_ROOM];
  ASSERT_GT(host_current_dir(current, sizeof current), 0u);
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  EXPECT_STREQ(current, expected);

  const HostHandle h = host_create("sub\\file.txt", 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  host_close(h);
  EXPECT_TRUE(exists_plain(dir.join("Sub/file.txt")));
  const std::string mixed = dir.path() + "\\SUB\\FILE.TXT";
  EXPECT_NE(host_get_attributes(mixed.c_str()), HOST_NO_SUCH_FILE);
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first("*", HOST_ATTR_DIRECTORY, name), 0);
  while (host_find_next(name) == 0) {
  }
}

TEST(HostPosix, UnderUtf8EightBitNamesPassThroughUnchanged) {
  ScopedCodePage utf8(HOST_CODE_PAGE_UTF8);
  TempDir dir;
  const std::string big5 = dir.join("\xA7\xF3\xB7\x73.txt");  // two Big5 characters
  const HostHandle h = host_create(big5.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  host_close(h);
  EXPECT_TRUE(exists_plain(big5));
  char name[HOST_PATH_ROOM];
  ASSERT_EQ(host_find_first(dir.join("*.txt").c_str(), HOST_ATTR_NORMAL, name), 0);
  EXPECT_STREQ(name, "\xA7\xF3\xB7\x73.txt");
  EXPECT_EQ(host_find_next(name), -1);
  EXPECT_EQ(host_open(dir.join("\x01\x7F\xFF").c_str(), HOST_MODE_READ), HOST_INVALID_HANDLE);
}

TEST(HostPosix, PathsUpTo259BytesAreAccepted) {
  TempDir dir;
  ASSERT_LT(dir.path().size(), 200u);
  const std::string longest = dir.join(std::string(258 - dir.path().size(), 'n'));
  ASSERT_EQ(longest.size(), 259u);
  const HostHandle h = host_create(longest.c_str(), 0);
  EXPECT_NE(h, HOST_INVALID_HANDLE);
  host_close(h);
  EXPECT_EQ(host_create((longest + "n").c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_get_attributes((longest + "n").c_str()), HOST_NO_SUCH_FILE);
}

TEST(HostPosix, ADescriptorInAReservedRangeMovesAboveItKeepingItsLock) {
  TempDir dir;
  const std::string path = dir.join("lock.bin");
  ASSERT_TRUE(write_plain(path, "data"));
  const HostHandle h = host_open(path.c_str(), HOST_MODE_READ);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_posix::move_out_of_range(h, h + 1, h + 10), h);  // outside: unchanged
  const int moved = host_posix::move_out_of_range(h, h, h + 10);
  ASSERT_GE(moved, h + 10);
  EXPECT_EQ(fcntl(h, F_GETFD), -1);  // the original is closed
  EXPECT_EQ(host_open(path.c_str(), HOST_MODE_READWRITE), HOST_INVALID_HANDLE);
  char buffer[4];
  EXPECT_EQ(host_read(moved, buffer, 4), 4);
  EXPECT_EQ(host_close(moved), 0);
  const HostHandle again = host_open(path.c_str(), HOST_MODE_READWRITE);
  EXPECT_NE(again, HOST_INVALID_HANDLE);
  host_close(again);
}

TEST(HostPosix, FilesOfTwoGigabytesOrMoreAreRefused) {
  TempDir dir;
  const std::string path = dir.join("big.bin");
  const int fd = open(path.c_str(), O_CREAT | O_RDWR, 0666);
  ASSERT_GE(fd, 0);
  if (ftruncate(fd, 0x80000000LL) != 0) {
    close(fd);
    GTEST_SKIP() << "no sparse files here";
  }
  for (int mode : {HOST_MODE_READ, HOST_MODE_WRITE, HOST_MODE_READWRITE}) {
    EXPECT_EQ(host_open(path.c_str(), mode), HOST_INVALID_HANDLE) << mode;
  }

  ASSERT_EQ(ftruncate(fd, 0x7FFFFFFFLL), 0);
  const HostHandle h = host_open(path.c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_size(h), 0x7FFFFFFF);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_END), 0x7FFFFFFF);
  EXPECT_EQ(host_write(h, "x", 1), 0);
  EXPECT_EQ(host_seek(h, -1, HOST_SEEK_END), 0x7FFFFFFE);
  EXPECT_EQ(host_write(h, "x", 1), 1);  // the last byte below the limit is fine
  EXPECT_EQ(host_size(h), 0x7FFFFFFF);
  // The limit where reads and writes, not a seek, brought the position near it.
  char got[10];
  EXPECT_EQ(host_seek(h, 0x7FFFFFF0, HOST_SEEK_BEGIN), 0x7FFFFFF0);
  EXPECT_EQ(host_read(h, got, 10), 10);
  EXPECT_EQ(host_write(h, "abcdef", 6), 0);  // would end one byte past the limit
  EXPECT_EQ(host_write(h, "abcde", 5), 5);
  EXPECT_EQ(host_write(h, "z", 1), 0);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_CURRENT), 0x7FFFFFFF);

  // Grown past the limit by someone else: size and end-relative seeks fail, nothing wraps.
  ASSERT_EQ(ftruncate(fd, 0x90000000LL), 0);
  EXPECT_EQ(host_size(h), -1);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_END), -1);
  EXPECT_EQ(host_seek(h, 5, HOST_SEEK_BEGIN), 5);
  host_close(h);
  close(fd);
}

// Reads, writes and seeks through the layer and through a handle number used again after a
// close all leave the position where the file itself has it.
TEST(HostPosix, PositionsFollowEveryCallOnAHandle) {
  TempDir dir;
  const std::string path = dir.join("positions.bin");
  HostHandle h = host_create(path.c_str(), 0);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(host_write(h, "0123456789", 10), 10);
  EXPECT_EQ(host_seek(h, -4, HOST_SEEK_CURRENT), 6);
  char two[2];
  EXPECT_EQ(host_read(h, two, 2), 2);
  EXPECT_EQ(std::string(two, 2), "67");
  EXPECT_EQ(host_write(h, "x", 1), 1);
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_CURRENT), 9);
  EXPECT_EQ(host_read(h, two, 2), 1);  // the end: the position moves by what was read
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_CURRENT), 10);
  EXPECT_EQ(lseek(h, 0, SEEK_CUR), 10);
  const HostHandle number = h;
  ASSERT_EQ(host_close(h), 0);

  h = host_open(path.c_str(), HOST_MODE_READWRITE);
  ASSERT_NE(h, HOST_INVALID_HANDLE);
  EXPECT_EQ(h, number);  // the lowest free number again
  EXPECT_EQ(host_seek(h, 0, HOST_SEEK_CURRENT), 0);
  EXPECT_EQ(host_write(h, "ab", 2), 2);
  host_close(h);
  EXPECT_EQ(read_plain(path), "ab234567x9");
}

TEST(HostPosix, HandlesNeverFallInTheMemberRange) {
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit raised = old;
  if (raised.rlim_cur != RLIM_INFINITY && raised.rlim_cur < 20100) raised.rlim_cur = 20100;
  if (raised.rlim_max != RLIM_INFINITY && raised.rlim_max < 20100) raised.rlim_max = 20100;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) {
    GTEST_SKIP() << "descriptors stop below 20000 here, so none can reach the member range";
  }

  TempDir dir;
  const std::string path = dir.join("f.bin");
  ASSERT_TRUE(write_plain(path, "data"));
  const int source = open("/dev/null", O_RDONLY);
  ASSERT_GE(source, 0);
  // Fill every descriptor below 20000, so the next one the system gives out is 20000.
  std::vector<int> fillers;
  for (int fd = dup(source); fd >= 0; fd = dup(source)) {
    fillers.push_back(fd);
    if (fd >= 19999) break;
  }
  ASSERT_FALSE(fillers.empty());
  ASSERT_EQ(fillers.back(), 19999);

  std::vector<HostHandle> handles;
  for (int i = 0; i < 12; ++i) {
    const HostHandle h = host_open(path.c_str(), HOST_MODE_READ);
    ASSERT_NE(h, HOST_INVALID_HANDLE);
    EXPECT_TRUE(h < 20000 || h >= 20010) << h;
    handles.push_back(h);
  }
  const HostHandle created = host_create(dir.join("g.bin").c_str(), 0);
  EXPECT_TRUE(created < 20000 || created >= 20010) << created;
  // The moved handles still hold their share locks and read.
  EXPECT_EQ(host_open(path.c_str(), HOST_MODE_READWRITE), HOST_INVALID_HANDLE);
  char buffer[4];
  EXPECT_EQ(host_read(handles.back(), buffer, 4), 4);

  host_close(created);
  for (HostHandle h : handles) host_close(h);
  for (int fd : fillers) close(fd);
  close(source);
  setrlimit(RLIMIT_NOFILE, &old);
}

TEST(HostPosix, PipesAndDevicesAreNotOpened) {
  TempDir dir;
  const std::string fifo = dir.join("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(host_open(fifo.c_str(), HOST_MODE_READ), HOST_INVALID_HANDLE);  // and does not wait
  EXPECT_EQ(host_create(fifo.c_str(), 0), HOST_INVALID_HANDLE);
  EXPECT_EQ(host_open("/dev/null", HOST_MODE_READ), HOST_INVALID_HANDLE);
}

TEST(HostPosix, ReadOnlyIsTheOwnersWritePermission) {
  TempDir dir;
  const std::string path = dir.join("perm.txt");
  ASSERT_TRUE(write_plain(path, "p"));
  ASSERT_EQ(chmod(path.c_str(), 0664), 0);
  EXPECT_EQ(host_get_attributes(path.c_str()), HOST_ATTR_ARCHIVE);
  EXPECT_EQ(host_set_attributes(path.c_str(), HOST_ATTR_READONLY | HOST_ATTR_HIDDEN), 0);
  EXPECT_EQ(permissions_of(path), 0444u);
  EXPECT_EQ(host_get_attributes(path.c_str()), HOST_ATTR_ARCHIVE | HOST_ATTR_READONLY);
  EXPECT_EQ(host_set_attributes(path.c_str(), HOST_ATTR_NORMAL), 0);
  EXPECT_EQ(permissions_of(path), 0644u);
  EXPECT_EQ(host_get_attributes(dir.path().c_str()), HOST_ATTR_DIRECTORY);
  // A folder keeps its permissions: read-only has no meaning for it on Windows either.
  const mode_t folder = permissions_of(dir.path());
  EXPECT_EQ(host_set_attributes(dir.path().c_str(), HOST_ATTR_READONLY), 0);
  EXPECT_EQ(permissions_of(dir.path()), folder);
}

TEST(HostPosix, ModulePathIsTheRunningExecutable) {
  char expected[4096];
  const ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(n, 0);
  expected[n] = '\0';
  char path[4096];
  EXPECT_EQ(host_module_path(path, sizeof path), static_cast<size_t>(n));
  EXPECT_STREQ(path, expected);
  EXPECT_EQ(host_module_path(path, static_cast<size_t>(n)), 0u);  // no room for the terminator
  EXPECT_STREQ(path, "");
  EXPECT_EQ(host_module_path(path, 0), 0u);
}

}  // namespace
