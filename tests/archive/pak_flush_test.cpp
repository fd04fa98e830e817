// Writing a changed directory back: round trips through close and reopen in both directory
// forms, empty directories, what a flush leaves alone, and failures that are never reported
// as success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "archive/masked_stream.h"
#include "archive_table_fixture.h"
#include "support/fault_injection.h"

namespace {

// What the file layer does when it adds a member: data written at the directory's place,
// the directory grown when full, the index dropped.
void append_member(int slot, const std::string& name, const Bytes& data) {
  PakArchive& a = g_archives[slot];
  ASSERT_EQ(host_seek(a.file, a.directoryOffset, HOST_SEEK_BEGIN), a.directoryOffset);
  ASSERT_EQ(host_write(a.file, data.data(), int32_t(data.size())), int32_t(data.size()));
  if (a.entryCount >= a.capacity) {
    void* grown = mem_realloc(a.directory, size_t(a.entryCount + 64) * PAK_ENTRY_SIZE);
    ASSERT_NE(grown, nullptr);
    a.directory = static_cast<PakEntry*>(grown);
    a.capacity += 64;
  }
  PakEntry& e = a.directory[a.entryCount];
  e = PakEntry{};
  e.size = int32_t(data.size());
  e.offset = a.directoryOffset - a.baseOffset;
  std::strncpy(e.name, name.c_str(), PAK_NAME_SIZE - 1);
  a.directoryOffset += int32_t(data.size());
  ++a.entryCount;
  pak_drop_index(slot);
}

PakHeader header_of(const Bytes& file) {
  PakHeaderBytes hb{};
  std::memcpy(hb.data(), file.data(), hb.size());
  return pak_header_decode(hb);
}

TEST_F(ArchiveTableTest, FlushRoundTripBothForms) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    const FixtureArchive archive = sample_archive(compressed);
    const std::string path = put("rw.pak", pak_fixture_bytes(archive));

    int slot = pak_open(path.c_str(), PAK_OPEN_READWRITE);
    ASSERT_EQ(slot, 0);
    PakArchive& a = g_archives[slot];
    std::strcpy(a.directory[0].name, "Renamed.txt");
    a.directory[3].offset = 0;  // delete "Zeta"
    const Bytes fresh = bytes_of("fresh member bytes");
    const Bytes second(5000, 0x5C);
    append_member(slot, "Fresh.bin", fresh);
    append_member(slot, "#:\\Update.PAK", second);
    a.state |= PAK_DIRTY;
    pak_close(slot);

    const Bytes file = read_file_bytes(path);
    const PakHeader h = header_of(file);
    EXPECT_EQ(h.magic, PAK_MAGIC);
    EXPECT_EQ(h.entryCount, 6);
    EXPECT_EQ(h.firstLetter, '#');
    EXPECT_EQ(h.lastLetter, '$');
    EXPECT_EQ(h.userValue, 0x01020304u);
    if (compressed) {
      // The header holds the new stream's length, and the stream is exactly that long.
      ASSERT_GT(h.packedDirectorySize, 0);
      Bytes stream(file.begin() + h.directoryOffset,
                   file.begin() + h.directoryOffset + h.packedDirectorySize);
      Bytes out(6 * PAK_ENTRY_SIZE);
      EXPECT_EQ(masked_uncompress(out.data(), stream.data(), uint32_t(stream.size()),
                                  uint32_t(out.size())),
                out.size());
      EXPECT_EQ(size_t(h.directoryOffset + h.packedDirectorySize), file.size());
    } else {
      EXPECT_EQ(h.packedDirectorySize, 0);
      EXPECT_EQ(size_t(h.directoryOffset) + 6 * PAK_ENTRY_SIZE, file.size());
    }

    slot = pak_open(path.c_str(), PAK_OPEN_READ);
    ASSERT_EQ(slot, 0);
    const PakArchive& b = g_archives[slot];
    ASSERT_EQ(b.entryCount, 6);
    const char* names[] = {"Renamed.txt", "#:\\Velmor.EXE", "", "", "Fresh.bin", "#:\\Update.PAK"};
    for (int i = 0; i < 6; ++i) EXPECT_STREQ(b.directory[i].name, names[i]) << i;
    EXPECT_EQ(read_member(slot, b.directory[0]), archive.members[0].data);
    EXPECT_EQ(read_member(slot, b.directory[1]), archive.members[1].data);
    EXPECT_EQ(read_member(slot, b.directory[4]), fresh);
    EXPECT_EQ(read_member(slot, b.directory[5]), second);
    EXPECT_EQ(index_names(slot), (std::vector<std::string>{"", "", "#:\\Update.PAK",
                                                           "#:\\Velmor.EXE", "Fresh.bin",
                                                           "Renamed.txt"}));
    pak_close_all();
  }
}

TEST_F(ArchiveTableTest, FlushOfEmptyDirectories) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    FixtureArchive archive;
    archive.compressed = compressed;
    const std::string path = put("empty.pak", pak_fixture_bytes(archive));
    ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
    EXPECT_EQ(pak_flush_top(), 0);
    pak_close_all();

    const Bytes file = read_file_bytes(path);
    const PakHeader h = header_of(file);
    EXPECT_EQ(h.entryCount, 0);
    EXPECT_EQ(h.directoryOffset, 24);
    if (compressed) {
      // The stream of no entries replaces the created archive's 4096.
      EXPECT_GT(h.packedDirectorySize, 0);
      EXPECT_LT(h.packedDirectorySize, 64);
    } else {
      EXPECT_EQ(file.size(), 24u + 4096u);
    }
    const int slot = pak_open(path.c_str(), PAK_OPEN_READWRITE);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(g_archives[slot].capacity, 64);
    // Members added to the emptied archive come back after a flush.
    append_member(slot, "one", bytes_of("1"));
    append_member(slot, "two", bytes_of("22"));
    g_archives[slot].state |= PAK_DIRTY;
    pak_close(slot);
    ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
    EXPECT_EQ(index_names(0), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(read_member(0, g_archives[0].directory[1]), bytes_of("22"));
    pak_close_all();
  }
}

TEST_F(ArchiveTableTest, FlushKeepsWhatItDoesNotOwn) {
  FixtureArchive archive = sample_archive(true);
  archive.trailing = Bytes(300, 0x77);
  const Bytes original = pak_fixture_bytes(archive);
  const std::string path = put("keep.pak", original);

  // A clean close writes nothing, even when the memory copy differs.
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
  std::strcpy(g_archives[0].directory[0].name, "Changed");
  pak_close(0);
  EXPECT_EQ(read_file_bytes(path), original);

  // A dirty close with no member added writes the directory past the end of the file: no byte
  // before it changes but the header's count, directory offset and packed size (the magic,
  // letters, reserved bytes and user value, the members, the old directory and the bytes after
  // it stay). The state keeps its dirty mark until the close.
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
  g_archives[0].state |= PAK_DIRTY;
  EXPECT_EQ(pak_flush_directory(0), 0);
  EXPECT_EQ(g_archives[0].state, PAK_IN_USE | PAK_DIRTY);
  EXPECT_EQ(g_archives[0].directoryOffset, int32_t(original.size()));
  pak_close(0);
  const Bytes after = read_file_bytes(path);
  ASSERT_GT(after.size(), original.size());
  EXPECT_TRUE(std::equal(original.begin(), original.begin() + 4, after.begin()));
  EXPECT_TRUE(std::equal(original.begin() + 12, original.begin() + 20, after.begin() + 12));
  EXPECT_TRUE(std::equal(original.begin() + 24, original.end(), after.begin() + 24));
  // (The close wrote it once more, past the first one.)
  const PakHeader h = header_of(after);
  EXPECT_GT(h.directoryOffset, int32_t(original.size()));
  EXPECT_EQ(size_t(h.directoryOffset + h.packedDirectorySize), after.size());
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
  EXPECT_STREQ(g_archives[0].directory[0].name, "Update01.txt");
  pak_close(0);
}

// A flush with no member added never writes over the old directory, and puts the new one on
// disk before the header names it: the header's write comes after a flush, and every write
// before that lies past the old directory.
TEST_F(ArchiveTableTest, ARenameWritesTheDirectoryApartAndFlushesItBeforeTheHeader) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    const FixtureLayout layout = pak_fixture_build(sample_archive(compressed));
    const std::string path = put("apart.pak", layout.bytes);
    ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
    std::strcpy(g_archives[0].directory[0].name, "Renamed.txt");
    g_archives[0].directory[3].offset = 0;
    g_archives[0].state |= PAK_DIRTY;
    int flushesBeforeHeader = -1;
    {
      HostFaults counted;
      // The directory's write (one, whole) and then the header's.
      counted.short_write(2, 0);
      EXPECT_EQ(pak_flush_directory(0), -1);
      flushesBeforeHeader = counted.calls(HostOp::Flush);
    }
    EXPECT_EQ(flushesBeforeHeader, 1);
    pak_close_discard(0);
    const Bytes torn = read_file_bytes(path);
    EXPECT_TRUE(std::equal(layout.bytes.begin(), layout.bytes.end(), torn.begin()))
        << "a byte of the archive as it was changed before the header's write";
    ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
    EXPECT_STREQ(g_archives[0].directory[0].name, "Update01.txt");
    pak_close_all();
  }
}

TEST_F(ArchiveTableTest, FlushTopFlushesOnlyTheHighestArchive) {
  const Bytes bytes = pak_fixture_bytes(sample_archive(false));
  const std::string low = put("low.pak", bytes);
  const std::string high = put("high.pak", bytes);
  ASSERT_EQ(pak_open(low.c_str(), PAK_OPEN_READWRITE), 0);
  ASSERT_EQ(pak_open(high.c_str(), PAK_OPEN_READWRITE), 1);
  std::strcpy(g_archives[0].directory[0].name, "LowName");
  std::strcpy(g_archives[1].directory[0].name, "HighName");
  EXPECT_EQ(pak_flush_top(), 0);
  pak_close_all();
  EXPECT_EQ(read_file_bytes(low), bytes);
  ASSERT_EQ(pak_open(high.c_str(), PAK_OPEN_READ), 0);
  EXPECT_STREQ(g_archives[0].directory[0].name, "HighName");
}

TEST_F(ArchiveTableTest, ReadOnlyArchiveCannotFlushButStillCloses) {
  const Bytes bytes = pak_fixture_bytes(sample_archive(true));
  const std::string path = put("ro.pak", bytes);
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
  std::strcpy(g_archives[0].directory[0].name, "Changed");
  g_archives[0].state |= PAK_DIRTY;
  EXPECT_EQ(pak_flush_directory(0), -1);
  pak_close(0);
  EXPECT_EQ(g_archives[0].state, 0u);
  EXPECT_EQ(g_archiveTop, 0);
  EXPECT_EQ(read_file_bytes(path), bytes);
  EXPECT_EQ(pak_flush_directory(0), -1) << "a free slot";
}

// Each seek, write and allocation of a flush fails in turn, and each write comes up short in
// turn: the flush reports -1, and a later flush with the host sound repeats the work.
TEST_F(ArchiveTableTest, FlushFailureAtEveryStep) {
  const struct {
    HostOp op;
    const char* name;
    bool shortWrite;
  } faults[] = {{HostOp::Seek, "seek", false},        {HostOp::Read, "read", false},
                {HostOp::Write, "write", false},      {HostOp::Write, "short write", true},
                {HostOp::Alloc, "alloc", false}};
  for (bool compressed : {false, true}) {
    for (const auto& f : faults) {
      const std::string path = put("fail.pak", pak_fixture_bytes(sample_archive(compressed)));
      ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
      append_member(0, "Added", bytes_of("added bytes"));
      int calls;
      {
        HostFaults count;
        ASSERT_EQ(pak_flush_directory(0), 0);
        calls = count.calls(f.op);
      }
      for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE(std::string(compressed ? "compressed " : "plain ") + f.name + " #" +
                     std::to_string(nth));
        {
          HostFaults injected;
          if (f.shortWrite) {
            injected.short_write(nth, 1);
          } else {
            injected.fail(f.op, nth);
          }
          EXPECT_EQ(pak_flush_directory(0), -1);
          EXPECT_GE(injected.calls(f.op), nth);
        }
        EXPECT_EQ(g_archives[0].entryCount, 5) << "memory copy unchanged";
        EXPECT_EQ(pak_flush_directory(0), 0);
      }
      pak_close_all();
      ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
      EXPECT_STREQ(g_archives[0].directory[4].name, "Added");
      pak_close_all();
    }
  }
}

// A flush that fails at any step leaves a file that opens with the directory it had before or
// the one being written: the header's count, offset and packed size change in one write, after
// the directory. Here the new directory goes past the old one (member data placed after it), so
// the old directory stays whole until the header names the new one.
TEST_F(ArchiveTableTest, FailedFlushLeavesTheOldOrTheNewDirectory) {
  const std::vector<std::string> before = {"#:\\Velmor.EXE", "Update01.txt", "Zeta"};
  const std::vector<std::string> after = {"#:\\Velmor.EXE", "Added member", "Update01 renamed.txt",
                                          "Zeta"};
  const auto live_names = [](int slot) {
    std::vector<std::string> names;
    const PakArchive& a = g_archives[slot];
    for (int32_t i = 0; i < a.entryCount; ++i) {
      if (a.directory[i].offset != 0) names.emplace_back(a.directory[i].name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  for (bool compressed : {false, true}) {
    for (HostOp op : {HostOp::Seek, HostOp::Read, HostOp::Write, HostOp::Alloc}) {
      for (int nth = 1;; ++nth) {
        SCOPED_TRACE(std::string(compressed ? "compressed" : "plain") + " op " +
                     std::to_string(int(op)) + " #" + std::to_string(nth));
        const Bytes original = pak_fixture_bytes(sample_archive(compressed));
        const std::string path = put("torn.pak", original);
        ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
        std::strcpy(g_archives[0].directory[0].name, "Update01 renamed.txt");
        g_archives[0].directoryOffset = int32_t(original.size());
        append_member(0, "Added member", Bytes(3000, 0x33));
        bool failed = false;
        {
          HostFaults injected;
          injected.fail(op, nth);
          failed = pak_flush_directory(0) != 0;
          EXPECT_EQ(failed, injected.calls(op) >= nth);
        }
        g_archives[0].state &= ~PAK_DIRTY;
        pak_close_all();
        ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0) << "the archive still opens";
        const std::vector<std::string> names = live_names(0);
        pak_close_all();
        if (!failed) {
          EXPECT_EQ(names, after);
          break;
        }
        EXPECT_EQ(names, before);
      }
    }
  }
}

// A close whose flush fails still closes: the failure costs the directory, never the table.
TEST_F(ArchiveTableTest, CloseWithFailingFlushStillFreesTheSlot) {
  const std::string path = put("close.pak", pak_fixture_bytes(sample_archive(false)));
  ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0);
  g_archives[0].state |= PAK_DIRTY;
  {
    HostFaults faults;
    faults.fail(HostOp::Write, 1);
    pak_close(0);
    EXPECT_EQ(faults.calls(HostOp::Write), 1);
  }
  EXPECT_EQ(g_archives[0].state, 0u);
  EXPECT_EQ(g_archiveTop, 0);
  EXPECT_EQ(pak_open(path.c_str(), PAK_OPEN_READWRITE), 0) << "the file was closed";
}

}  // namespace
