// Unified file handles: member reads, seeks and writes at the end of the data, replacing and
// adding creates, the ten-record table, directory growth under open handles, archives closed
// under open handles, and disk files passed through to the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/fault_injection.h"
#include "support/vfs_fixture.h"
#include "vfs/delete_rename.h"
#include "vfs/file_handle.h"

namespace {

using FileHandle = VfsTest;

TEST_F(FileHandle, ReadsMemberBytesAsStored) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "hello world"), member("#:\\B", "xyz")}),
                  "read.pak"),
            0);
  const int32_t h = vfs_open("#:\\A", 0);
  ASSERT_EQ(h, VFS_HANDLE_BASE);
  EXPECT_EQ(vfs_open_member_count(), 1);
  EXPECT_EQ(vfs_size(h), 11);
  char buf[32] = {};
  EXPECT_EQ(vfs_read(h, buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(vfs_read(h, buf, sizeof buf), 6);  // only what remains
  EXPECT_EQ(std::string(buf, 6), " world");
  EXPECT_EQ(vfs_read(h, buf, sizeof buf), 0);  // at the end
  EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_open_member_count(), 0);
  EXPECT_EQ(vfs_open("#:\\Missing", 0), -1);
  EXPECT_EQ(vfs_open_member_count(), 0);
}

TEST_F(FileHandle, ReadsThroughAnExecutablesLocator) {
  const Bytes exe = pak_fixture_executable(777);
  const Bytes pak = pak_fixture_bytes(archive('#', {member("#:\\Velmor.EXE", "payload")}));
  const std::string path = dir_.join("Setup.exe");
  ASSERT_TRUE(write_file_bytes(path, pak_fixture_append(exe, pak)));
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
  EXPECT_EQ(read_member("#:\\Velmor.EXE"), "payload");

  // A new entry counts from the archive start like every other; its bytes cannot be written.
  const PakArchive& a = g_archives[0];
  const int32_t h = vfs_create_new("#:\\New", 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(a.directory[1].offset, a.directoryOffset - a.baseOffset);
  EXPECT_EQ(g_openFiles[h - VFS_HANDLE_BASE].start, uint32_t(a.directoryOffset));
  EXPECT_EQ(write_text(h, "x"), 0);
  vfs_close(h);
  const int32_t again = vfs_open("#:\\New", 0);
  ASSERT_GE(again, 0);
  EXPECT_EQ(g_openFiles[again - VFS_HANDLE_BASE].start, uint32_t(a.directoryOffset));
  vfs_close(again);
}

TEST_F(FileHandle, SeekClampsToTheMember) {
  ASSERT_EQ(mount(archive('#', {member("#:\\Ten", "0123456789")}), "seek.pak"), 0);
  const int32_t h = vfs_open("#:\\Ten", 0);
  ASSERT_GE(h, 0);
  struct SeekCase {
    int32_t offset;
    int method;
    int32_t expected;
  };
  const SeekCase cases[] = {
      {3, 0, 3},    {2, 1, 6},     {-3, 2, 7},   {99, 0, 10}, {-99, 1, 0},
      {-1, 0, 0},   {5, 7, 5},     {0, 2, 10},   {1, 2, 10},  {INT32_MAX, 1, 10},
      {INT32_MIN, 1, 0},
  };
  for (const SeekCase& c : cases) {
    ASSERT_EQ(vfs_seek(h, 4, 0), 4);
    EXPECT_EQ(vfs_seek(h, c.offset, c.method), c.expected)
        << "offset " << c.offset << " method " << c.method;
    char byte = 0;
    if (c.expected < 10) {
      EXPECT_EQ(vfs_read(h, &byte, 1), 1);
      EXPECT_EQ(byte, '0' + c.expected);
    } else {
      EXPECT_EQ(vfs_read(h, &byte, 1), 0);
    }
  }
  vfs_close(h);
}

TEST_F(FileHandle, DiskPathsGoToTheHost) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "disk.pak"), 0);
  const std::string path = dir_.join("plain.txt");
  int32_t h = vfs_create(path.c_str(), 0);
  ASSERT_GE(h, 0);
  EXPECT_FALSE(vfs_is_member_handle(h));
  EXPECT_EQ(vfs_write(h, "abcdef", 6), 6);
  EXPECT_EQ(vfs_seek(h, 2, 0), 2);
  EXPECT_EQ(vfs_close(h), 0);

  h = vfs_open(path.c_str(), 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(vfs_size(h), 6);
  char buf[8] = {};
  EXPECT_EQ(vfs_read(h, buf, sizeof buf), 6);
  EXPECT_EQ(vfs_close(h), 0);

  h = vfs_create_new(path.c_str(), 0);  // a disk create truncates
  ASSERT_GE(h, 0);
  EXPECT_EQ(vfs_size(h), 0);
  EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_open(dir_.join("missing.txt").c_str(), 0), -1);
  EXPECT_EQ(vfs_open_member_count(), 0);
}

TEST_F(FileHandle, EleventhHandleFailsAndTheLowestFreeSlotIsReused) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "ten.pak"), 0);
  for (int i = 0; i < VFS_MAX_OPEN_FILES; ++i) ASSERT_EQ(vfs_open("#:\\A", 0), VFS_HANDLE_BASE + i);
  const int32_t entries = g_archives[0].entryCount;
  EXPECT_EQ(vfs_open("#:\\A", 0), -1);
  EXPECT_EQ(vfs_create("#:\\A", 0), -1);
  EXPECT_EQ(vfs_create_new("#:\\N", 0), -1);
  EXPECT_EQ(g_archives[0].entryCount, entries);
  EXPECT_NE(g_archives[0].directory[0].offset, 0);  // the failed create deleted nothing
  EXPECT_EQ(vfs_open_member_count(), VFS_MAX_OPEN_FILES);

  EXPECT_EQ(vfs_close(VFS_HANDLE_BASE + 7), 0);
  EXPECT_EQ(vfs_close(VFS_HANDLE_BASE + 3), 0);
  EXPECT_EQ(vfs_open("#:\\A", 0), VFS_HANDLE_BASE + 3);
  EXPECT_EQ(vfs_open_member_count(), VFS_MAX_OPEN_FILES - 1);
}

TEST_F(FileHandle, ClosingAFreeRecordChangesNothing) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "free.pak"), 0);
  const int32_t h = vfs_open("#:\\A", 0);
  EXPECT_EQ(vfs_close(VFS_HANDLE_BASE + 5), 0);
  EXPECT_EQ(vfs_open_member_count(), 1);
  EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_open_member_count(), 0);
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);  // reading leaves the archive clean
}

// Replacing create, plain and compressed directories: the old entry stays deleted, the new
// member starts empty at the end of the data, and the archive file has both after a reopen.
TEST_F(FileHandle, CreateReplacesAtTheEndOfTheData) {
  for (bool compressed : {false, true}) {
    reset_process_state();
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    ASSERT_EQ(mount(archive('#', {member("#:\\A", "old-a"), member("#:\\B", "bbb")}, compressed),
                    "create.pak"),
              0);
    PakArchive& a = g_archives[0];
    const int32_t dataEnd = a.directoryOffset;
    const int32_t h = vfs_create("#:\\A", 0);
    ASSERT_EQ(h, VFS_HANDLE_BASE);
    EXPECT_EQ(vfs_open_member_count(), 1);
    ASSERT_EQ(a.entryCount, 3);
    EXPECT_EQ(a.directory[0].offset, 0);
    EXPECT_EQ(a.sortedIndex, nullptr);
    const PakEntry& e = a.directory[2];
    EXPECT_EQ(e.size, 0);
    EXPECT_EQ(e.offset, dataEnd);
    EXPECT_EQ(e.tag, 0u);
    const PakEntry zero{};
    EXPECT_EQ(std::memcmp(e.reserved, zero.reserved, sizeof e.reserved), 0);
    char expectedName[PAK_NAME_SIZE] = "#:\\A";
    EXPECT_EQ(std::memcmp(e.name, expectedName, PAK_NAME_SIZE), 0);  // zero tail
    EXPECT_EQ(vfs_size(h), 0);

    EXPECT_EQ(write_text(h, "new-a-content"), 13);
    EXPECT_EQ(a.directoryOffset, dataEnd + 13);
    EXPECT_EQ(a.directory[2].size, 13);
    EXPECT_NE(a.state & PAK_DIRTY, 0u);
    EXPECT_EQ(vfs_close(h), 0);
    pak_close(0);

    ASSERT_EQ(reopen("create.pak"), 0);
    EXPECT_EQ(g_archives[0].entryCount, 3);
    EXPECT_EQ(read_member("#:\\A"), "new-a-content");
    EXPECT_EQ(read_member("#:\\B"), "bbb");
  }
}

TEST_F(FileHandle, CreatedEmptyMemberSurvivesTheArchiveClose) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "old")}), "empty-create.pak"), 0);
  ASSERT_EQ(vfs_close(vfs_create("#:\\A", 0)), 0);
  pak_close(0);
  ASSERT_EQ(reopen("empty-create.pak"), 0);
  const int32_t h = vfs_open("#:\\A", 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(vfs_size(h), 0);
  vfs_close(h);
}

TEST_F(FileHandle, ReplacingCreateStaysInTheArchiveThatHeldTheMember) {
  ASSERT_EQ(mount(archive('#', {member("#:\\Old", "o")}), "older.pak"), 0);
  ASSERT_EQ(mount(archive('#', {member("#:\\New", "n")}), "newer.pak"), 1);
  const int32_t h = vfs_create("#:\\Old", 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(g_archives[0].entryCount, 2);
  EXPECT_EQ(g_archives[1].entryCount, 1);
  EXPECT_EQ(g_openFiles[h - VFS_HANDLE_BASE].archive, 0);
  vfs_close(h);

  const int32_t added = vfs_create("#:\\Fresh", 0);  // no such member: the newest archive
  ASSERT_GE(added, 0);
  EXPECT_EQ(g_archives[1].entryCount, 2);
  vfs_close(added);
}

TEST_F(FileHandle, CreateNewKeepsTheOlderEntryLive) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "old")}), "add.pak"), 0);
  const int32_t h = vfs_create_new("#:\\A", 0);
  ASSERT_GE(h, 0);
  EXPECT_EQ(write_text(h, "new"), 3);
  vfs_close(h);
  EXPECT_NE(g_archives[0].directory[0].offset, 0);
  EXPECT_EQ(read_member("#:\\A"), "new");  // the later entry is met first
  ASSERT_EQ(vfs_delete("#:\\A"), 0);
  EXPECT_EQ(read_member("#:\\A"), "old");
}

struct NameCase {
  int strip;
  std::string path;
  bool accepted;
};

TEST_F(FileHandle, NamesMustFitTheFortyByteField) {
  const NameCase cases[] = {
      {0, "#:\\" + std::string(36, 'n'), true},    // 39 bytes with the prefix
      {0, "#:\\" + std::string(37, 'n'), false},   // 40
      {1, "#:\\" + std::string(39, 'n'), true},    // 39 after the strip
      {1, "#:\\" + std::string(40, 'n'), false},
      {1, "#:" + std::string(40, 'n'), false},
      {1, "#:\\" + std::string(300, 'n'), false},
  };
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "names.pak"), 0);
  for (const NameCase& c : cases) {
    vfs_set_prefix_strip(c.strip);
    for (auto* create : {vfs_create, vfs_create_new}) {
      const int32_t before = g_archives[0].entryCount;
      const int32_t h = create(c.path.c_str(), 0);
      EXPECT_EQ(h >= 0, c.accepted) << c.path.size() << " bytes, strip " << c.strip;
      EXPECT_EQ(g_archives[0].entryCount, before + (c.accepted ? 1 : 0));
      if (h >= 0) {
        const PakEntry& e = g_archives[0].directory[g_archives[0].entryCount - 1];
        EXPECT_STREQ(e.name, vfs_strip_mount_prefix(c.path.c_str()));
        vfs_close(h);
      }
    }
  }
  EXPECT_EQ(vfs_open_member_count(), 0);
}

// A full plain directory grows once by 64 entries over ten creates, while a handle opened
// before the growth and one written across it stay bound to their members.
TEST_F(FileHandle, DirectoryGrowsUnderOpenHandles) {
  ASSERT_EQ(mount(archive('#', {member("#:\\M0", "zero"), member("#:\\M1", "one"),
                                member("#:\\M2", "two")}),
                  "grow.pak"),
            0);
  PakArchive& a = g_archives[0];
  ASSERT_EQ(a.capacity, 3);
  const int32_t before = vfs_open("#:\\M0", 0);
  const int32_t last = vfs_create_new("#:\\Last", 0);
  ASSERT_GE(before, 0);
  ASSERT_GE(last, 0);
  EXPECT_EQ(write_text(last, "ab"), 2);
  EXPECT_EQ(a.capacity, 3 + 64);

  for (int i = 0; i < 10; ++i) {
    const std::string name = "#:\\N" + std::to_string(i);
    const int32_t h = vfs_create_new(name.c_str(), 0);
    ASSERT_GE(h, 0) << i;
    vfs_close(h);  // left empty, so Last still ends the data
  }
  EXPECT_EQ(a.capacity, 3 + 64);
  EXPECT_EQ(a.entryCount, 14);

  char buf[8] = {};
  EXPECT_EQ(vfs_read(before, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "zero");
  EXPECT_EQ(write_text(last, "cd"), 2);
  EXPECT_EQ(a.directory[3].size, 4);
  vfs_close(before);
  vfs_close(last);
  pak_close(0);
  ASSERT_EQ(reopen("grow.pak"), 0);
  EXPECT_EQ(read_member("#:\\Last"), "abcd");
  EXPECT_EQ(read_member("#:\\M2"), "two");
}

// Only the member at the end of the data may be written; elsewhere the write would run over
// the next member.
TEST_F(FileHandle, WritesOnlyAtTheEndOfTheData) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "aaaa"), member("#:\\B", "bbbb")}), "end.pak"), 0);
  const Bytes fileBefore = read_file_bytes(dir_.join("end.pak"));
  PakArchive& a = g_archives[0];
  const int32_t dataEnd = a.directoryOffset;

  const int32_t ha = vfs_open("#:\\A", 0);
  EXPECT_EQ(write_text(ha, "XX"), 0);
  EXPECT_EQ(vfs_seek(ha, 0, 2), 4);
  EXPECT_EQ(write_text(ha, "XX"), 0);
  EXPECT_EQ(vfs_size(ha), 4);
  EXPECT_EQ(a.directoryOffset, dataEnd);
  EXPECT_EQ(a.state, PAK_IN_USE);
  EXPECT_EQ(read_file_bytes(dir_.join("end.pak")), fileBefore);
  vfs_close(ha);

  const int32_t hb = vfs_open("#:\\B", 0);
  EXPECT_EQ(write_text(hb, "XY"), 2);  // inside the last member: the data end stays
  EXPECT_EQ(a.directoryOffset, dataEnd);
  EXPECT_EQ(vfs_seek(hb, 0, 2), 4);
  EXPECT_EQ(write_text(hb, "ZZ"), 2);
  EXPECT_EQ(a.directoryOffset, dataEnd + 2);
  EXPECT_EQ(vfs_size(hb), 6);
  vfs_close(hb);
  pak_close(0);
  ASSERT_EQ(reopen("end.pak"), 0);
  EXPECT_EQ(read_member("#:\\A"), "aaaa");
  EXPECT_EQ(read_member("#:\\B"), "XYbbZZ");
}

TEST_F(FileHandle, TwoNewMembersCannotOverlap) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "two.pak"), 0);
  const int32_t h1 = vfs_create_new("#:\\One", 0);
  const int32_t h2 = vfs_create_new("#:\\Two", 0);
  EXPECT_EQ(write_text(h1, "11"), 2);
  EXPECT_EQ(write_text(h2, "22"), 0);  // its start now lies inside One's bytes
  vfs_close(h1);
  vfs_close(h2);
  EXPECT_EQ(read_member("#:\\One"), "11");
  EXPECT_EQ(read_member("#:\\Two"), "");
}

TEST_F(FileHandle, ReadOnlyArchiveRefusesWrites) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "a")}), "ro.pak", PAK_OPEN_READ), 0);
  const Bytes fileBefore = read_file_bytes(dir_.join("ro.pak"));
  const int32_t h = vfs_open("#:\\A", 0);
  ASSERT_GE(h, 0);
  ASSERT_EQ(vfs_seek(h, 0, 2), 1);
  EXPECT_EQ(write_text(h, "more"), 0);
  EXPECT_EQ(vfs_seek(h, 0, 1), 1);
  EXPECT_EQ(vfs_size(h), 1);
  vfs_close(h);
  pak_close(0);
  EXPECT_EQ(read_file_bytes(dir_.join("ro.pak")), fileBefore);
}

// Records left open when their archive is closed fail every access, even after another archive
// takes the slot, and are still released by vfs_close.
TEST_F(FileHandle, ArchiveClosedUnderOpenHandles) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "abc")}), "closed.pak"), 0);
  const int32_t h = vfs_open("#:\\A", 0);
  const int32_t w = vfs_create_new("#:\\W", 0);
  ASSERT_GE(h, 0);
  ASSERT_GE(w, 0);
  EXPECT_EQ(write_text(w, "data"), 4);
  pak_close(0);  // flushes: the archive was changed

  char buf[4];
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(vfs_read(h, buf, sizeof buf), 0);
    EXPECT_EQ(write_text(w, "x"), 0);
    EXPECT_EQ(vfs_seek(h, 1, 0), -1);
    EXPECT_EQ(vfs_size(h), -1);
    if (pass == 0) {
      ASSERT_EQ(reopen("closed.pak"), 0);  // same slot, new generation
    }
  }
  EXPECT_EQ(g_archives[0].entryCount, 2);
  EXPECT_EQ(read_member("#:\\W"), "data");
  EXPECT_EQ(vfs_open_member_count(), 2);
  EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_close(w), 0);
  EXPECT_EQ(vfs_open_member_count(), 0);
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE);  // closing stale records dirties nothing
}

TEST_F(FileHandle, OpenMemberCountReturnsToZeroAfterMixedUse) {
  ASSERT_EQ(mount(archive('@', {member("@:\\A", "a"), member("@:\\B", "b"), member("@:\\C", "c")}),
                  "mixed.pak"),
            0);
  const int32_t a = vfs_open("@:\\A", 0);
  const int32_t c = vfs_create("@:\\C", 0);        // replaces: binds and releases a record
  const int32_t n = vfs_create_new("@:\\N", 0);
  EXPECT_EQ(vfs_open("@:\\None", 0), -1);
  EXPECT_EQ(vfs_delete("@:\\B"), 0);
  EXPECT_EQ(vfs_delete("@:\\B"), -1);
  EXPECT_EQ(vfs_rename("@:\\A", "R"), 0);
  EXPECT_EQ(vfs_open_member_count(), 3);
  const int32_t r = vfs_open("@:\\R", 0);
  EXPECT_EQ(vfs_open_member_count(), 4);
  for (int32_t h : {a, c, n, r, a}) EXPECT_EQ(vfs_close(h), 0);
  EXPECT_EQ(vfs_open_member_count(), 0);
  for (const OpenFile& f : g_openFiles) EXPECT_EQ(f.start, 0u);
}

// Failures injected below the layer: growth that finds no memory changes nothing (the old
// member stays live), and a short host write advances by what was written.

TEST_F(FileHandle, FailuresBelowLeaveConsistentState) {
  ASSERT_EQ(mount(archive('#', {member("#:\\A", "keep"), member("#:\\B", "b")}), "fail.pak"), 0);
  ASSERT_EQ(g_archives[0].capacity, 2);
  {
    HostFaults faults;
    faults.fail_from(HostOp::Realloc, 1);
    EXPECT_EQ(vfs_create("#:\\A", 0), -1);
    EXPECT_EQ(vfs_create_new("#:\\N", 0), -1);
  }
  EXPECT_EQ(g_archives[0].entryCount, 2);
  EXPECT_EQ(read_member("#:\\A"), "keep");
  EXPECT_EQ(vfs_open_member_count(), 0);

  const int32_t h = vfs_open("#:\\B", 0);
  ASSERT_EQ(vfs_seek(h, 0, 2), 1);
  const int32_t dataEnd = g_archives[0].directoryOffset;
  {
    HostFaults faults;
    faults.half_writes_from(1);
    EXPECT_EQ(write_text(h, "123456"), 3);
  }
  EXPECT_EQ(vfs_seek(h, 0, 1), 4);
  EXPECT_EQ(vfs_size(h), 4);
  EXPECT_EQ(g_archives[0].directoryOffset, dataEnd + 3);
  vfs_close(h);
}

// Entries whose numbers cannot describe bytes of the file are refused at open.
TEST_F(FileHandle, DamagedEntriesAreNotOpened) {
  struct EntryCase {
    int32_t size;
    int32_t offset;
    bool opens;
  };
  const EntryCase cases[] = {
      {-1, 24, false},
      {4, -24, false},
      {0x7FFFFFF0, 24, false},       // runs past 32-bit offsets
      {4, 0x7FFFFF00, true},         // past the file end: opens, reads nothing
      {0, 24, true},
  };
  for (const EntryCase& c : cases) {
    reset_process_state();
    FixtureLayout layout = pak_fixture_build(archive('#', {member("#:\\A", "aaaa")}));
    uint8_t* entry = layout.bytes.data() + layout.directoryOffset;
    store_le32(entry, uint32_t(c.size));
    store_le32(entry + 4, uint32_t(c.offset));
    ASSERT_TRUE(write_file_bytes(dir_.join("damaged.pak"), layout.bytes));
    ASSERT_EQ(reopen("damaged.pak"), 0);
    const int32_t h = vfs_open("#:\\A", 0);
    EXPECT_EQ(h >= 0, c.opens) << c.size << " at " << c.offset;
    if (h >= 0) {
      char buf[8];
      EXPECT_EQ(vfs_read(h, buf, sizeof buf), 0);
      vfs_close(h);
    }
  }
}

}  // namespace
