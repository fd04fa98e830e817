// Opening archives: stand-alone and appended, plain and compressed directories, empty ones,
// damaged files refused without reading past what they hold, names bounded, the sorted index,
// and host failures at every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "archive/masked_stream.h"
#include "archive_table_fixture.h"
#include "support/fault_injection.h"
#include "support/host_override.h"

namespace {

void put32(Bytes& b, size_t at, uint32_t v) { store_le32(b.data() + at, v); }

TEST_F(ArchiveTableTest, OpensEveryFormWithItsEntriesAndIndex) {
  const Bytes exe = pak_fixture_executable(1000);
  enum Form { standalone, appended, locatorZero };
  const struct {
    const char* what;
    bool compressed;
    Form form;
    const char* fileName;
  } cases[] = {
      {"plain", false, standalone, "plain.pak"},
      {"compressed", true, standalone, "packed.PAK"},
      {"plain appended", false, appended, "Setup.exe"},
      {"compressed appended", true, appended, "SETUP.EXE"},
      {"plain at locator 0", false, locatorZero, "zero.exe"},
      {"compressed at locator 0", true, locatorZero, "zero.Exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const FixtureArchive archive = sample_archive(c.compressed);
    const FixtureLayout layout = pak_fixture_build(archive);
    Bytes file = layout.bytes;
    int32_t base = 0;
    if (c.form == appended) {
      file = pak_fixture_append(exe, layout.bytes);
      base = int32_t(exe.size());
    } else if (c.form == locatorZero) {
      file.insert(file.end(), {0, 0, 0, 0});
    }

    const int slot = pak_open(put(c.fileName, file).c_str(), PAK_OPEN_READ);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(g_archiveTop, 1);
    const PakArchive& a = g_archives[slot];
    EXPECT_EQ(a.state, PAK_IN_USE);
    EXPECT_EQ(a.firstLetter, '#');
    EXPECT_EQ(a.lastLetter, '$');
    EXPECT_EQ(a.entryCount, 4);
    EXPECT_EQ(a.capacity, c.compressed ? 24 : 4);
    EXPECT_EQ(a.packedDirectorySize, c.compressed ? layout.directorySize : 0);
    EXPECT_EQ(a.baseOffset, base);
    EXPECT_EQ(a.directoryOffset, base + layout.directoryOffset);
    ASSERT_NE(a.directory, nullptr);
    ASSERT_NE(a.sortedIndex, nullptr);

    for (size_t i = 0; i < archive.members.size(); ++i) {
      SCOPED_TRACE(i);
      const FixtureMember& m = archive.members[i];
      const PakEntry& e = a.directory[i];
      EXPECT_EQ(e.size, int32_t(m.data.size()));
      EXPECT_EQ(e.offset, m.deleted ? 0 : layout.memberOffsets[i]);
      EXPECT_EQ(e.tag, m.tag);
      EXPECT_STREQ(e.name, m.deleted ? "" : m.name.c_str());
      if (!m.deleted) {
        EXPECT_EQ(read_member(slot, e), m.data);
      }
    }
    for (size_t i = 0; i < kSampleIndexOrder.size(); ++i)
      EXPECT_EQ(a.sortedIndex[i], kSampleIndexOrder[i]) << i;
    if (c.compressed) {
      // The spare entries start out zero.
      const auto* spare = reinterpret_cast<const uint8_t*>(a.directory + a.entryCount);
      EXPECT_TRUE(std::all_of(spare, spare + 20 * PAK_ENTRY_SIZE, [](uint8_t b) { return b == 0; }));
    }
    pak_close(slot);
    EXPECT_EQ(g_archiveTop, 0);
  }
}

// A plain archive whose file ends with its directory: read as an executable, its last four
// bytes (the tail of the last name field, zeros) are a locator of 0 and still directory bytes.
TEST_F(ArchiveTableTest, LocatorZeroBytesCountAsDirectory) {
  const FixtureArchive archive = sample_archive(false);
  const Bytes bytes = pak_fixture_bytes(archive);
  ASSERT_EQ(load_le32(bytes.data() + bytes.size() - 4), 0u);
  const int slot = pak_open(put("tight.exe", bytes).c_str(), PAK_OPEN_READ);
  ASSERT_EQ(slot, 0);
  EXPECT_EQ(g_archives[slot].baseOffset, 0);
  EXPECT_EQ(g_archives[slot].entryCount, 4);
  EXPECT_STREQ(g_archives[slot].directory[3].name, "Zeta");
}

TEST_F(ArchiveTableTest, OpensEmptyArchives) {
  const Bytes exe = pak_fixture_executable(64);
  for (bool compressed : {false, true}) {
    for (bool appended : {false, true}) {
      SCOPED_TRACE(std::string(compressed ? "compressed" : "plain") +
                   (appended ? " appended" : ""));
      FixtureArchive archive;
      archive.compressed = compressed;
      Bytes file = pak_fixture_bytes(archive);
      // As freshly created: 4096 zero bytes, or their short stream.
      if (compressed) EXPECT_LT(file.size(), 24u + 64u);
      else EXPECT_EQ(file.size(), 24u + 4096u);
      if (appended) file = pak_fixture_append(exe, file);

      const int slot = pak_open(put(appended ? "e.exe" : "e.pak", file).c_str(), PAK_OPEN_READ);
      ASSERT_EQ(slot, 0);
      const PakArchive& a = g_archives[slot];
      EXPECT_EQ(a.entryCount, 0);
      EXPECT_EQ(a.capacity, 64);
      EXPECT_EQ(a.sortedIndex, nullptr);
      EXPECT_EQ(a.packedDirectorySize, compressed ? 4096 : 0);
      const auto* d = reinterpret_cast<const uint8_t*>(a.directory);
      EXPECT_TRUE(std::all_of(d, d + 4096, [](uint8_t b) { return b == 0; }));
      pak_close(slot);
    }
  }
}

struct CorruptCase {
  const char* what;
  const char* fileName;  // ".exe" names are read through the locator
  std::function<Bytes()> make;
  bool opens;
};

TEST_F(ArchiveTableTest, DamagedFilesTable) {
  const Bytes plain = pak_fixture_bytes(sample_archive(false));
  const FixtureLayout packedLayout = pak_fixture_build(sample_archive(true));
  const Bytes packed = packedLayout.bytes;
  const Bytes exe = pak_fixture_executable(1000);
  const Bytes appended = pak_fixture_append(exe, plain);
  const auto with = [](Bytes b, size_t at, uint32_t v) {
    put32(b, at, v);
    return b;
  };
  const auto cut = [](Bytes b, size_t drop) {
    b.resize(b.size() > drop ? b.size() - drop : 0);
    return b;
  };
  const auto grow = [](Bytes b, size_t extra) {
    b.insert(b.end(), extra, 0x77);
    return b;
  };
  const auto emptyHeader = [](int32_t packedSize) {
    PakHeader h{};
    h.magic = PAK_MAGIC;
    h.directoryOffset = 24;
    h.packedDirectorySize = packedSize;
    const PakHeaderBytes hb = pak_header_encode(h);
    return Bytes(hb.begin(), hb.end());
  };
  const uint32_t plainSize = uint32_t(plain.size());
  const uint32_t exeSize = uint32_t(exe.size());
  const size_t lastByte = appended.size() - 4;  // where the locator starts
  const size_t streamAt = size_t(packedLayout.directoryOffset);

  const CorruptCase cases[] = {
      {"sound plain archive", "a.pak", [&] { return plain; }, true},
      {"sound compressed archive", "a.pak", [&] { return packed; }, true},
      {"bad magic", "a.pak", [&] { Bytes b = plain; b[0] = 'X'; return b; }, false},
      {"magic in lower case", "a.pak", [&] { Bytes b = plain; std::memcpy(b.data(), "paks", 4); return b; }, false},
      {"empty file", "a.pak", [] { return Bytes{}; }, false},
      {"header one byte short", "a.pak", [&] { return Bytes(plain.begin(), plain.begin() + 23); }, false},
      {"header only", "a.pak", [&] { return Bytes(plain.begin(), plain.begin() + 24); }, false},
      {"plain directory one byte short", "a.pak", [&] { return cut(plain, 1); }, false},
      {"plain entry count one more than stored", "a.pak", [&] { return with(plain, 4, 5); }, false},
      {"plain trailing bytes ignored", "a.pak", [&] { return grow(plain, 100); }, true},
      {"compressed stream one byte short", "a.pak", [&] { return cut(packed, 1); }, false},
      {"compressed entry count one more than the stream holds", "a.pak", [&] { return with(packed, 4, 5); }, false},
      {"compressed entry count one less", "a.pak", [&] { return with(packed, 4, 3); }, true},
      {"compressed stream damaged", "a.pak", [&] { Bytes b = packed; b[streamAt + 5] ^= 0xFF; return b; }, false},
      {"compressed stream not masked", "a.pak", [&] { Bytes b = packed; b[streamAt] ^= STREAM_MASK; return b; }, false},
      {"compressed trailing bytes ignored", "a.pak", [&] { return grow(packed, 100); }, true},
      {"negative entry count", "a.pak", [&] { return with(plain, 4, 0xFFFFFFFF); }, false},
      {"negative entry count compressed", "a.pak", [&] { return with(packed, 4, 0x80000000); }, false},
      {"entry count 2^31-1", "a.pak", [&] { return with(plain, 4, 0x7FFFFFFF); }, false},
      {"entry count whose 32-bit byte size wraps to 64", "a.pak", [&] { return with(plain, 4, 0x04000001); }, false},
      {"entry count 2^31-1 compressed", "a.pak", [&] { return with(packed, 4, 0x7FFFFFFF); }, false},
      {"entry count far beyond what the stream can hold", "a.pak", [&] { return with(packed, 4, 0x01000000); }, false},
      {"negative directory offset", "a.pak", [&] { return with(plain, 8, 0xFFFFFFF0); }, false},
      {"directory offset 0", "a.pak", [&] { return with(plain, 8, 0); }, false},
      {"directory offset inside the header", "a.pak", [&] { return with(plain, 8, 23); }, false},
      {"directory offset at the file size", "a.pak", [&] { return with(plain, 8, plainSize); }, false},
      {"directory offset past the file", "a.pak", [&] { return with(plain, 8, plainSize + 4096); }, false},
      {"directory offset 2^31-1", "a.pak", [&] { return with(plain, 8, 0x7FFFFFFF); }, false},
      {"negative packed size", "a.pak", [&] { return with(packed, 20, 0xFFFFFFFB); }, false},
      {"packed size past the file", "a.pak", [&] { return with(packed, 20, 0x7FFFFFFF); }, false},
      {"empty plain with 4096 bytes", "a.pak", [&] { return grow(emptyHeader(0), 4096); }, true},
      {"empty plain with 4095 bytes", "a.pak", [&] { return grow(emptyHeader(0), 4095); }, false},
      {"empty compressed with one byte", "a.pak", [&] { return grow(emptyHeader(4096), 1); }, true},
      {"empty compressed with nothing after the header", "a.pak", [&] { return emptyHeader(4096); }, false},
      {"empty compressed with negative packed size", "a.pak", [&] { return grow(emptyHeader(-1), 8); }, false},
      {"sound appended archive", "a.exe", [&] { return appended; }, true},
      {"appended archive read as stand-alone", "a.pak", [&] { return appended; }, false},
      {"executable shorter than a locator", "a.exe", [] { return Bytes{0, 0, 0}; }, false},
      {"locator 0 and nothing else", "a.exe", [] { return Bytes{0, 0, 0, 0}; }, false},
      {"locator at the file size", "a.exe", [&] { return with(appended, lastByte, uint32_t(appended.size())); }, false},
      {"locator pointing at itself", "a.exe", [&] { return with(appended, lastByte, uint32_t(lastByte)); }, false},
      {"locator leaving less than a header", "a.exe", [&] { return with(appended, lastByte, uint32_t(lastByte - 23)); }, false},
      {"locator 0xFFFFFFFF", "a.exe", [&] { return with(appended, lastByte, 0xFFFFFFFF); }, false},
      {"locator 0x80000000", "a.exe", [&] { return with(appended, lastByte, 0x80000000); }, false},
      {"locator one byte early", "a.exe", [&] { return with(appended, lastByte, exeSize - 1); }, false},
      {"appended directory offset at the locator", "a.exe",
       [&] { return with(appended, exeSize + 8, uint32_t(lastByte - exeSize)); }, false},
      {"appended directory reaching into the locator", "a.exe",
       [&] { return with(appended, exeSize + 8, uint32_t(lastByte - exeSize - 4 * PAK_ENTRY_SIZE + 4)); }, false},
      {"appended directory offset overflowing with the base", "a.exe",
       [&] { return with(appended, exeSize + 8, 0x7FFFFFF0); }, false},
  };
  for (const CorruptCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = put(c.fileName, c.make());
    const int slot = pak_open(path.c_str(), PAK_OPEN_READ);
    if (c.opens) {
      EXPECT_EQ(slot, 0);
      EXPECT_EQ(g_archiveTop, 1);
    } else {
      EXPECT_EQ(slot, -1);
      EXPECT_EQ(g_archiveTop, 0);
      EXPECT_EQ(g_archives[0].state, 0u);
      EXPECT_EQ(g_archives[0].directory, nullptr);
    }
    pak_close_all();
  }
}

// Sizes in a header never make the store allocate more than the file could justify.
TEST_F(ArchiveTableTest, HeaderValuesAloneNeverMakeLargeAllocations) {
  static size_t largest = 0;
  void* (*counting)(size_t) = [](size_t bytes) {
    largest = std::max(largest, bytes);
    return g_hostDefaultOps.alloc(bytes);
  };
  const Bytes packed = pak_fixture_bytes(sample_archive(true));
  const Bytes plain = pak_fixture_bytes(sample_archive(false));
  const struct {
    const Bytes* base;
    size_t at;
    uint32_t value;
  } cases[] = {
      {&packed, 4, 0x00FFFFFF}, {&packed, 4, 0x01FFFFEB}, {&packed, 20, 0x7FFFFFFF},
      {&plain, 4, 0x00FFFFFF},  {&plain, 4, 0x7FFFFFFF},  {&plain, 8, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    Bytes b = *c.base;
    put32(b, c.at, c.value);
    const std::string path = put("big.pak", b);
    largest = 0;
    host_override(&HostOps::alloc, counting);
    pak_close(pak_open(path.c_str(), PAK_OPEN_READ));
    host_restore_all();
    EXPECT_LE(largest, b.size() * 1100 + 8192);
  }
}

TEST_F(ArchiveTableTest, RefusesMissingFilesAndModes) {
  const std::string pak = put("a.pak", pak_fixture_bytes(sample_archive(false)));
  EXPECT_EQ(pak_open(dir_.join("missing.pak").c_str(), PAK_OPEN_READ), -1);
  EXPECT_EQ(pak_open(pak.c_str(), HOST_MODE_WRITE), -1) << "write-only cannot read the header";
  EXPECT_EQ(pak_open(nullptr, PAK_OPEN_READ), -1);
  EXPECT_EQ(g_archiveTop, 0);

  // An executable is only ever opened read-only, and a refused one is not even opened.
  const Bytes exeBytes = pak_fixture_append(pak_fixture_executable(500), pak_fixture_bytes(sample_archive(true)));
  const std::string exe = put("UPDATER.EXE", exeBytes);
  EXPECT_EQ(pak_open(exe.c_str(), PAK_OPEN_READWRITE), -1);
  EXPECT_EQ(pak_open(exe.c_str(), HOST_MODE_WRITE), -1);
  EXPECT_EQ(read_file_bytes(exe), exeBytes);
  const HostHandle probe = host_open(exe.c_str(), HOST_MODE_READWRITE);
  EXPECT_NE(probe, HOST_INVALID_HANDLE) << "left open by a refused call";
  host_close(probe);
  EXPECT_EQ(pak_open(exe.c_str(), PAK_OPEN_READ), 0);
}

TEST_F(ArchiveTableTest, NamesAreAtMostThirtyNineBytes) {
  FixtureArchive archive;
  const std::string forty(40, 'N');
  archive.members = {
      {forty, bytes_of("x")},                     // no terminator in the field
      {std::string(39, 'N'), bytes_of("y")},      // longest proper name
      {std::string(39, 'M') + "Q", bytes_of("z")},
  };
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    archive.compressed = compressed;
    const int slot = pak_open(put("names.pak", pak_fixture_bytes(archive)).c_str(), PAK_OPEN_READ);
    ASSERT_EQ(slot, 0);
    const PakArchive& a = g_archives[slot];
    EXPECT_EQ(std::string(a.directory[0].name), std::string(39, 'N'));
    EXPECT_EQ(std::string(a.directory[1].name), std::string(39, 'N'));
    EXPECT_EQ(std::string(a.directory[2].name), std::string(39, 'M'));
    EXPECT_EQ(pak_entry_compare(&a.directory[0], &a.directory[1]), 0);
    EXPECT_EQ(index_names(slot),
              (std::vector<std::string>{std::string(39, 'M'), std::string(39, 'N'),
                                        std::string(39, 'N')}));
    pak_close(slot);
  }
}

TEST_F(ArchiveTableTest, DeletedEntriesLoseTheirNamesAndSortFirst) {
  FixtureArchive archive;
  archive.compressed = true;
  archive.members = {
      {"b.txt", bytes_of("1")},
      {"A.TXT", bytes_of("2"), true},
      {"\xA7\xF3\xB7s.txt", bytes_of("3")},
      {"a.txt", bytes_of("4")},
      {"c.txt", bytes_of("5"), true},
  };
  const int slot = pak_open(put("d.pak", pak_fixture_bytes(archive)).c_str(), PAK_OPEN_READ);
  ASSERT_EQ(slot, 0);
  const PakArchive& a = g_archives[slot];
  EXPECT_STREQ(a.directory[1].name, "");
  EXPECT_STREQ(a.directory[4].name, "");
  EXPECT_EQ(a.directory[4].size, 1) << "only the name changes";
  const std::vector<std::string> names = index_names(slot);
  EXPECT_EQ(names, (std::vector<std::string>{"", "", "a.txt", "b.txt", "\xA7\xF3\xB7s.txt"}));
  // The index holds each position once.
  std::vector<int32_t> positions(a.sortedIndex, a.sortedIndex + a.entryCount);
  std::sort(positions.begin(), positions.end());
  EXPECT_EQ(positions, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

// Each allocation of an open fails in turn: the open is refused with nothing held, or (for a
// failure it can do without, such as the name index) gives the whole directory all the same.
TEST_F(ArchiveTableTest, AllocationFailuresTable) {
  for (bool compressed : {false, true}) {
    const std::string path = put("alloc.pak", pak_fixture_bytes(sample_archive(compressed)));
    int calls;
    {
      HostFaults count;
      ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
      pak_close_all();
      calls = count.calls(HostOp::Alloc);
    }
    ASSERT_GT(calls, 0);
    int refused = 0;
    for (int nth = 1; nth <= calls; ++nth) {
      SCOPED_TRACE(std::string(compressed ? "compressed" : "plain") + " alloc " + std::to_string(nth));
      int slot;
      {
        HostFaults faults;
        faults.fail(HostOp::Alloc, nth);
        slot = pak_open(path.c_str(), PAK_OPEN_READ);
      }
      if (slot < 0) {
        ++refused;
        EXPECT_EQ(g_archiveTop, 0);
        EXPECT_EQ(g_archives[0].directory, nullptr);
      } else {
        EXPECT_EQ(slot, 0);
        EXPECT_EQ(g_archives[0].entryCount, 4);
        EXPECT_STREQ(g_archives[0].directory[2].name, "") << "deleted names emptied without an index";
        EXPECT_STREQ(g_archives[0].directory[3].name, "Zeta");
      }
      pak_close_all();
    }
    EXPECT_GT(refused, 0) << "the directory itself cannot be done without";
  }
}

// Every host call of an open fails in turn, and every read comes up one byte short in turn:
// the open is refused, nothing stays open or allocated, the table is untouched.
TEST_F(ArchiveTableTest, HostFailureAtEveryStep) {
  const Bytes exe = pak_fixture_executable(700);
  const struct {
    const char* name;
    Bytes bytes;
  } files[] = {
      {"plain.pak", pak_fixture_bytes(sample_archive(false))},
      {"packed.pak", pak_fixture_bytes(sample_archive(true))},
      {"appended.exe", pak_fixture_append(exe, pak_fixture_bytes(sample_archive(true)))},
  };
  const struct {
    HostOp op;
    const char* name;
  } ops[] = {{HostOp::Open, "open"}, {HostOp::Size, "size"}, {HostOp::Seek, "seek"},
             {HostOp::Read, "read"}};
  for (const auto& f : files) {
    const std::string path = put(f.name, f.bytes);
    for (const auto& o : ops) {
      int calls;
      {
        HostFaults count;
        ASSERT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), 0);
        pak_close_all();
        calls = count.calls(o.op);
      }
      ASSERT_GT(calls, 0) << f.name << " " << o.name;
      for (int nth = 1; nth <= calls; ++nth) {
        SCOPED_TRACE(std::string(f.name) + " " + o.name + " #" + std::to_string(nth));
        {
          HostFaults faults;
          faults.fail(o.op, nth);
          EXPECT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), -1);
        }
        if (o.op == HostOp::Read) {
          HostFaults cut;
          cut.short_read(nth, 1);
          EXPECT_EQ(pak_open(path.c_str(), PAK_OPEN_READ), -1) << "short read";
        }
        EXPECT_EQ(g_archiveTop, 0);
        EXPECT_EQ(g_archives[0].state, 0u);
      }
    }
  }
}

}  // namespace
