// Compaction: deleted entries dropped and member data packed back to back in both directory
// forms, the ".BAK" backup, archives that are refused before anything is renamed, failures at
// every step that put the previous file back under its own name, and the step-by-step form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/masked_stream.h"
#include "archive/pak_build.h"
#include "archive_table_fixture.h"
#include "pak_build_fixture.h"
#include "support/fault_injection.h"

namespace {

using PakCompact = ArchiveTableTest;

FixtureArchive three_members(bool compressed) {
  FixtureArchive a;
  a.firstLetter = '@';
  a.lastLetter = 'A';
  a.userValue = 77;
  a.compressed = compressed;
  a.members = {{"first", bytes_of("1111"), false, 5},
               {"gone", bytes_of("dead bytes"), true, 0},
               {"second", Bytes(70000, 0x42), false, 0}};  // more than one copy chunk
  a.trailing = bytes_of("ignored tail");
  return a;
}

TEST_F(PakCompact, DropsDeletedEntriesAndPacksTheData) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    const Bytes before = pak_fixture_bytes(three_members(compressed));
    const std::string path = put("Update.PAK", before);
    ASSERT_EQ(pak_compact(path.c_str()), 0);
    EXPECT_EQ(g_archiveTop, 0);
    EXPECT_EQ(read_file_bytes(dir_.join("Update.BAK")), before);

    const Bytes file = read_file_bytes(path);
    const PakHeader h = header_of(file);
    EXPECT_EQ(h.entryCount, 2);
    EXPECT_EQ(h.directoryOffset, 24 + 4 + 70000);
    EXPECT_EQ(h.firstLetter, '@');
    EXPECT_EQ(h.lastLetter, 'A');
    EXPECT_EQ(h.userValue, 77u);
    if (compressed) {
      EXPECT_EQ(size_t(h.directoryOffset + h.packedDirectorySize), file.size());
    } else {
      EXPECT_EQ(h.packedDirectorySize, 0);
      EXPECT_EQ(size_t(h.directoryOffset) + 2 * PAK_ENTRY_SIZE, file.size());
    }

    ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
    const PakArchive& a = g_archives[0];
    EXPECT_STREQ(a.directory[0].name, "first");
    EXPECT_EQ(a.directory[0].offset, 24);
    EXPECT_EQ(a.directory[0].tag, 5u);
    EXPECT_STREQ(a.directory[1].name, "second");
    EXPECT_EQ(a.directory[1].offset, 28);
    EXPECT_EQ(read_member(0, a.directory[0]), bytes_of("1111"));
    EXPECT_EQ(read_member(0, a.directory[1]), Bytes(70000, 0x42));
    pak_close_all();
  }
}

TEST_F(PakCompact, RewritesAnArchiveWithNothingDeleted) {
  FixtureArchive live = sample_archive(false);
  live.members.erase(live.members.begin() + 2);
  const std::string path = put("live.pak", pak_fixture_bytes(live));
  ASSERT_EQ(pak_compact(path.c_str()), 0);
  EXPECT_TRUE(exists(dir_.join("live.BAK")));
  EXPECT_EQ(read_file_bytes(path), pak_fixture_bytes(live)) << "a packed archive stays the same";
}

TEST_F(PakCompact, AnArchiveWithEveryEntryDeletedStillOpens) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    FixtureArchive a;
    a.compressed = compressed;
    a.members = {{"x", bytes_of("xx"), true, 0}, {"y", bytes_of("yy"), true, 0}};
    const std::string path = put("empty.pak", pak_fixture_bytes(a));
    ASSERT_EQ(pak_compact(path.c_str()), 0);
    const int slot = pak_open(path.c_str(), PAK_OPEN_READWRITE);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(g_archives[0].entryCount, 0);
    EXPECT_EQ(g_archives[0].directoryOffset, 24);
    pak_close_all();
  }
}

TEST_F(PakCompact, RefusesWithoutRenamingAnything) {
  FixtureArchive a = sample_archive(false);
  const Bytes archive = pak_fixture_bytes(a);
  struct Case {
    const char* name;
    std::string file;
    Bytes bytes;
  };
  const Case cases[] = {
      {"executable", "Setup.exe", pak_fixture_append(pak_fixture_executable(200), archive)},
      {"not an archive", "notes.txt", bytes_of("plain text, no archive here")},
      {"backup name is its own", "keep.bak", archive},
      {"path beyond 111 bytes", std::string(120, 'p') + ".pak", archive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = put(c.file, c.bytes);
    const std::string other = put("open.pak", archive);
    ASSERT_EQ(pak_open(other.c_str(), PAK_OPEN_READ), 0);
    EXPECT_EQ(pak_compact(path.c_str()), -1);
    EXPECT_EQ(g_archiveTop, 0) << "every archive is closed, refused or not";
    EXPECT_EQ(read_file_bytes(path), c.bytes);
  }
  EXPECT_EQ(pak_compact(dir_.join("missing.pak").c_str()), -1);
  EXPECT_FALSE(exists(dir_.join("Setup.BAK")));
  EXPECT_FALSE(exists(dir_.join("notes.BAK")));
}

TEST_F(PakCompact, FailureAfterTheBackupPutsTheArchiveBack) {
  const Bytes before = pak_fixture_bytes(three_members(true));
  const std::string path = dir_.join("Update.PAK");
  const std::string backup = dir_.join("Update.BAK");
  ASSERT_TRUE(write_file_bytes(path, before));

  struct Step {
    const char* name;
    HostOp op;
    bool shortWrite;
  };
  const Step steps[] = {{"write", HostOp::Write, false},
                        {"short write", HostOp::Write, true},
                        {"read", HostOp::Read, false},
                        {"seek", HostOp::Seek, false},
                        {"create", HostOp::Create, false},
                        {"alloc", HostOp::Alloc, false},
                        {"open", HostOp::Open, false},
                        {"move", HostOp::Move, false},
                        {"remove", HostOp::Remove, false}};
  for (const Step& s : steps) {
    int calls = 0;
    {
      HostFaults count;
      ASSERT_EQ(pak_compact(path.c_str()), 0);
      calls = count.calls(s.op);
    }
    ASSERT_TRUE(write_file_bytes(path, before));
    ASSERT_GE(calls, 1) << s.name;
    for (int nth = 1; nth <= calls; ++nth) {
      SCOPED_TRACE(std::string(s.name) + " #" + std::to_string(nth));
      ASSERT_TRUE(write_file_bytes(backup, bytes_of("stale backup")));
      {
        HostFaults injected;
        if (s.shortWrite) {
          injected.short_write(nth, 2);
        } else {
          injected.fail(s.op, nth);
        }
        const int result = pak_compact(path.c_str());
        // Only the sorted index may be missing: the archive is then compacted without it.
        if (result == 0) {
          EXPECT_EQ(s.op, HostOp::Alloc);
          ASSERT_TRUE(write_file_bytes(path, before));
          continue;
        }
      }
      EXPECT_EQ(g_archiveTop, 0);
      EXPECT_EQ(read_file_bytes(path), before);
      // The stale backup goes at the start of a compaction; a failure before that keeps it.
      const Bytes left = read_file_bytes(backup);
      EXPECT_TRUE(!exists(backup) || left == bytes_of("stale backup"));
    }
  }
}

TEST_F(PakCompact, StepsReportTheBytesAndAbandonLeavesNothing) {
  const std::string source = put("src.pak", pak_fixture_bytes(three_members(false)));
  const std::string out = dir_.join("out.pak");
  const int slot = pak_open(source.c_str(), PAK_OPEN_READ);
  ASSERT_EQ(slot, 0);

  PakCompaction c;
  ASSERT_EQ(pak_compact_begin(&c, slot, out.c_str()), 0);
  EXPECT_EQ(c.bytesTotal, 70004);
  int steps = 0;
  int r = 0;
  int64_t before = c.bytesDone;
  while ((r = pak_compact_step(&c)) == 1) {
    ++steps;
    // Each step moves some member bytes, never more than one chunk.
    EXPECT_GT(c.bytesDone, before);
    EXPECT_LE(c.bytesDone - before, PAK_COPY_CHUNK);
    before = c.bytesDone;
  }
  EXPECT_EQ(r, 0);
  EXPECT_GE(steps, 2) << "70004 bytes take more than one chunk";
  EXPECT_EQ(c.bytesDone, c.bytesTotal);
  ASSERT_EQ(pak_compact_finish(&c), 0);
  EXPECT_EQ(header_of(read_file_bytes(out)).entryCount, 2);

  ASSERT_EQ(pak_compact_begin(&c, slot, out.c_str()), 0);
  EXPECT_EQ(pak_compact_step(&c), 1);
  pak_compact_abandon(&c);
  EXPECT_FALSE(exists(out));
  EXPECT_EQ(pak_compact_begin(&c, 5, out.c_str()), -1) << "no archive in that slot";
  EXPECT_FALSE(exists(out));
}

TEST_F(PakCompact, EntriesOutsideTheFileAreRefused) {
  FixtureArchive a = three_members(false);
  FixtureLayout layout = pak_fixture_build(a);
  // The last entry claims more bytes than the file has.
  const size_t entry = size_t(layout.directoryOffset) + 2 * PAK_ENTRY_SIZE;
  store_le32(&layout.bytes[entry], 0x7FFFFFF0u);
  const std::string source = put("bad.pak", layout.bytes);
  ASSERT_EQ(pak_open(source.c_str(), PAK_OPEN_READ), 0);
  PakCompaction c;
  EXPECT_EQ(pak_compact_begin(&c, 0, dir_.join("out.pak").c_str()), -1);
  EXPECT_FALSE(exists(dir_.join("out.pak")));
}

}  // namespace
