// Archive building: empty archives in both directory forms, the header's user value, archives
// appended to executables (and the executable kept whole when appending fails).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/pak_build.h"
#include "archive_table_fixture.h"
#include "pak_build_fixture.h"
#include "support/fault_injection.h"

namespace {

using PakBuild = ArchiveTableTest;

TEST_F(PakBuild, CreateGivesAnEmptyArchiveInEitherForm) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    const std::string path = dir_.join(compressed ? "c.pak" : "p.pak");
    const int slot = pak_create(path.c_str(), '#', '$', 0xA1B2C3D4u, compressed ? 1 : 0);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(g_archives[0].capacity, 64);
    EXPECT_EQ(g_archives[0].entryCount, 0);
    EXPECT_EQ(g_archives[0].firstLetter, '#');
    EXPECT_EQ(g_archives[0].lastLetter, '$');
    pak_close_all();

    const Bytes file = read_file_bytes(path);
    const PakHeader h = header_of(file);
    EXPECT_EQ(h.magic, PAK_MAGIC);
    EXPECT_EQ(h.directoryOffset, 24);
    EXPECT_EQ(h.userValue, 0xA1B2C3D4u);
    if (compressed) {
      EXPECT_EQ(h.packedDirectorySize, 4096);
      EXPECT_GT(file.size(), 24u);
      EXPECT_LT(file.size(), 24u + 100u) << "a short stream of 4096 zero bytes";
    } else {
      EXPECT_EQ(h.packedDirectorySize, 0);
      EXPECT_EQ(file.size(), 24u + 4096u);
    }
    EXPECT_EQ(pak_read_user_value(path.c_str()), 0xA1B2C3D4u);
  }
}

TEST_F(PakBuild, CreateTruncatesAnExistingArchive) {
  const std::string path = put("old.pak", pak_fixture_bytes(sample_archive(false)));
  ASSERT_EQ(pak_create(path.c_str(), '@', '@', 0, 0), 0);
  EXPECT_EQ(g_archives[0].entryCount, 0);
  pak_close_all();
  EXPECT_EQ(read_file_bytes(path).size(), 24u + 4096u);
}

TEST_F(PakBuild, CreateRefusesAnExecutableNameAndLeavesItAlone) {
  const Bytes executable = pak_fixture_executable(300);
  const std::string path = put("Game.EXE", executable);
  EXPECT_EQ(pak_create(path.c_str(), '#', '#', 0, 1), -1);
  EXPECT_EQ(read_file_bytes(path), executable);
}

TEST_F(PakBuild, CreateWhoseWritesFallShortFailsAndLeavesNoFile) {
  struct Fault {
    const char* name;
    int nth;
    int32_t shortBytes;  // -1: the write fails outright
  };
  const Fault faults[] = {{"header fails", 1, -1},    {"header short", 1, 10},
                          {"directory fails", 2, -1}, {"directory short", 2, 5}};
  for (bool compressed : {false, true}) {
    for (const Fault& f : faults) {
      SCOPED_TRACE(std::string(f.name) + (compressed ? " compressed" : " plain"));
      const std::string path = dir_.join("broken.pak");
      {
        HostFaults injected;
        if (f.shortBytes < 0) {
          injected.fail(HostOp::Write, f.nth);
        } else {
          injected.short_write(f.nth, f.shortBytes);
        }
        EXPECT_EQ(pak_create(path.c_str(), '#', '#', 0, compressed ? 1 : 0), -1);
      }
      EXPECT_EQ(g_archiveTop, 0);
      EXPECT_FALSE(exists(path));
    }
  }
}

TEST_F(PakBuild, ReadUserValueNeedsTheWholeField) {
  FixtureArchive a;
  a.userValue = 0x12345678;
  const Bytes whole = pak_fixture_bytes(a);
  struct Case {
    const char* name;
    size_t length;  // bytes of the archive kept in the file
    uint32_t expected;
  };
  const Case cases[] = {{"whole", whole.size(), 0x12345678u},
                        {"20 bytes", 20, 0x12345678u},
                        {"19 bytes", 19, 0xFFFFFFFFu},
                        {"empty", 0, 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        put("value.pak", Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(c.length)));
    EXPECT_EQ(pak_read_user_value(path.c_str()), c.expected);
  }
  EXPECT_EQ(pak_read_user_value(dir_.join("missing.pak").c_str()), 0xFFFFFFFFu);
}

TEST_F(PakBuild, AppendMakesTheFormTheLocatorReads) {
  const Bytes executable = pak_fixture_executable(1000);
  FixtureArchive a = sample_archive(true);
  const Bytes archive = pak_fixture_bytes(a);
  const std::string exe = put("Update.exe", executable);
  const std::string pak = put("payload.pak", archive);

  ASSERT_EQ(pak_append_to_executable(exe.c_str(), pak.c_str()), 0);
  const Bytes file = read_file_bytes(exe);
  ASSERT_EQ(file.size(), 1000 + archive.size() + 4);
  EXPECT_EQ(load_le32(&file[file.size() - 4]), 1000u);
  EXPECT_EQ(file, pak_fixture_append(executable, archive));

  const int slot = pak_open(exe.c_str(), PAK_OPEN_READ);
  ASSERT_EQ(slot, 0);
  EXPECT_EQ(g_archives[0].baseOffset, 1000);
  EXPECT_EQ(g_archives[0].entryCount, 4);
  EXPECT_FALSE(exists(exe + ".~0")) << "the copy made beforehand is gone";
}

TEST_F(PakBuild, AppendOfAnyBytesCountsOnlyLengths) {
  const std::string exe = put("stub.exe", pak_fixture_executable(1000));
  const std::string other = put("other.bin", Bytes(500, 0x77));
  ASSERT_EQ(pak_append_to_executable(exe.c_str(), other.c_str()), 0);
  const Bytes file = read_file_bytes(exe);
  ASSERT_EQ(file.size(), 1504u);
  EXPECT_EQ(load_le32(&file[1500]), 1000u);
}

TEST_F(PakBuild, AppendThatFailsLeavesTheExecutableAsItWas) {
  const Bytes executable = pak_fixture_executable(70000);  // more than one copy chunk
  const Bytes archive = pak_fixture_bytes(sample_archive(false));
  const std::string exe = put("stub.exe", executable);
  const std::string pak = put("payload.pak", archive);

  int writes = 0;
  {
    HostFaults count;
    ASSERT_EQ(pak_append_to_executable(exe.c_str(), pak.c_str()), 0);
    writes = count.calls(HostOp::Write);
  }
  ASSERT_GE(writes, 3);
  for (bool shortWrite : {false, true}) {
    for (int nth = 1; nth <= writes; ++nth) {
      SCOPED_TRACE((shortWrite ? "short write #" : "failed write #") + std::to_string(nth));
      ASSERT_TRUE(write_file_bytes(exe, executable));
      {
        HostFaults injected;
        if (shortWrite) {
          injected.short_write(nth, 3);
        } else {
          injected.fail(HostOp::Write, nth);
        }
        EXPECT_EQ(pak_append_to_executable(exe.c_str(), pak.c_str()), -1);
      }
      EXPECT_EQ(read_file_bytes(exe), executable);
      EXPECT_FALSE(exists(exe + ".~0"));
    }
  }
}

TEST_F(PakBuild, AppendFailsWithoutTouchingAnythingWhenAFileIsMissing) {
  const Bytes executable = pak_fixture_executable(100);
  const std::string exe = put("stub.exe", executable);
  EXPECT_EQ(pak_append_to_executable(exe.c_str(), dir_.join("none.pak").c_str()), -1);
  EXPECT_EQ(pak_append_to_executable(dir_.join("none.exe").c_str(), exe.c_str()), -1);
  EXPECT_EQ(read_file_bytes(exe), executable);
  HostFaults faults;
  faults.fail(HostOp::Alloc, 1);
  EXPECT_EQ(pak_append_to_executable(exe.c_str(), exe.c_str()), -1);
}

}  // namespace
