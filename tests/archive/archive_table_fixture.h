// Shared set-up for the archive table tests: a scratch folder, the table empty before and after
// each test (every process-wide table reset), and a sample archive of four members.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/pak_table.h"
#include "support/pak_fixture.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"

class ArchiveTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(g_archiveTop, 0) << "an earlier test left archives open";
    reset_process_state();
  }
  void TearDown() override { reset_process_state(); }

  // Writes bytes to a file of the scratch folder and returns its path.
  std::string put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.join(name);
    EXPECT_TRUE(write_file_bytes(path, bytes));
    return path;
  }

  TempDir dir_;
};

// Four members in mixed case, the third one deleted.
inline FixtureArchive sample_archive(bool compressed) {
  FixtureArchive a;
  a.firstLetter = '#';
  a.lastLetter = '$';
  a.userValue = 0x01020304;
  a.compressed = compressed;
  a.members = {
      {"Update01.txt", bytes_of("marker one"), false, 7},
      {"#:\\Velmor.EXE", Bytes(300, 0xC3), false, 0},
      {"alpha.dat", bytes_of("gone"), true, 0},
      {"Zeta", bytes_of("last member"), false, 0xFFFFFFFF},
  };
  return a;
}

// Directory positions of the sample in index order: the deleted entry first (empty name).
inline const std::vector<int> kSampleIndexOrder = {2, 1, 0, 3};

// The names of an open archive's entries in the order of its sorted index.
inline std::vector<std::string> index_names(int slot) {
  std::vector<std::string> names;
  const PakArchive& a = g_archives[slot];
  if (a.sortedIndex == nullptr) return names;
  for (int i = 0; i < a.entryCount; ++i) names.emplace_back(a.directory[a.sortedIndex[i]].name);
  return names;
}

// Reads a member's stored bytes through the archive's own file handle.
inline Bytes read_member(int slot, const PakEntry& e) {
  const PakArchive& a = g_archives[slot];
  Bytes out(size_t(e.size));
  if (host_seek(a.file, a.baseOffset + e.offset, HOST_SEEK_BEGIN) != a.baseOffset + e.offset)
    return {};
  if (e.size > 0 && host_read(a.file, out.data(), e.size) != e.size) return {};
  return out;
}
