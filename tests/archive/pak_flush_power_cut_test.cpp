// A directory flush cut by a power failure: members renamed and deleted in an open archive (no
// member added), the flush at its close recorded on the in-memory host, and every state the
// disk may hold after a power cut at any point of it (support/crash_model.h) opened again. Each
// opens, with the old directory or the new one, never a mix, and the members' bytes as they
// were. Directories of several blocks, plain and compressed, so a torn write shows.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

#include "archive/pak_table.h"
#include "support/crash_model.h"
#include "support/memory_host.h"
#include "support/pak_fixture.h"
#include "support/recording_host.h"
#include "support/reset_state.h"

namespace {

using crash_model::Disk;

constexpr char kArchive[] = "L:\\Data\\Big.pak";
constexpr size_t kPerCut = 256;

// An entry as the library reads it back.
struct Seen {
  std::string name;
  int32_t offset;
  int32_t size;
  bool operator==(const Seen&) const = default;
};

// Many members with names that do not compress away, so that even the compressed directory
// spans blocks.
FixtureArchive many_members(bool compressed, int count) {
  FixtureArchive a;
  a.compressed = compressed;
  uint32_t x = 2463534242u;
  for (int i = 0; i < count; ++i) {
    std::string name = "m" + std::to_string(i) + "_";
    for (int k = 0; k < 24; ++k) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      name += char('a' + x % 26);
    }
    a.members.push_back(FixtureMember{name, bytes_of("member " + std::to_string(i)), false, 0});
  }
  return a;
}

// The directory the archive opens with, and the live members' bytes; empty when it does not
// open.
std::vector<Seen> open_and_read(std::vector<Bytes>* members) {
  std::vector<Seen> seen;
  const int slot = pak_open(kArchive, PAK_OPEN_READ);
  if (slot < 0) return seen;
  const PakArchive& a = g_archives[slot];
  for (int32_t i = 0; i < a.entryCount; ++i) {
    const PakEntry& e = a.directory[i];
    seen.push_back(Seen{e.name, e.offset, e.size});
    if (e.offset == 0 || members == nullptr) continue;
    Bytes bytes(size_t(e.size));
    if (host_seek(a.file, a.baseOffset + e.offset, HOST_SEEK_BEGIN) != a.baseOffset + e.offset ||
        host_read(a.file, bytes.data(), e.size) != e.size)
      bytes.clear();
    members->push_back(std::move(bytes));
  }
  pak_close(slot);
  return seen;
}

class PakFlushPowerCutTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_process_state(); }
  void TearDown() override { reset_process_state(); }

  void explore(bool compressed, int count) {
    memory_host::install();
    memory_host::put(kArchive, pak_fixture_bytes(many_members(compressed, count)));
    const Disk before = memory_host::files();
    std::vector<Bytes> members;
    const std::vector<Seen> old = open_and_read(&members);
    ASSERT_EQ(old.size(), size_t(count));

    // Renames and deletes in memory, as the file layer makes them, then the close writes them.
    recording_host::install();
    const int slot = pak_open(kArchive, PAK_OPEN_READWRITE);
    ASSERT_GE(slot, 0);
    PakArchive& a = g_archives[slot];
    std::strcpy(a.directory[1].name, "renamed first");
    a.directory[count / 2].offset = 0;
    std::strcpy(a.directory[count - 2].name, "renamed last");
    a.state |= PAK_DIRTY;
    pak_close(slot);
    const std::vector<recording_host::Change> changes = recording_host::changes();
    const std::vector<Seen> changed = open_and_read(nullptr);
    ASSERT_EQ(changed.size(), size_t(count));
    ASSERT_NE(changed, old);

    const crash_model::Budget budget = crash_model::budget_from_environment(kPerCut);
    const crash_model::Tally tally = crash_model::explore(
        before, changes, budget, [&](const Disk& state, size_t cut) {
          if (HasFailure()) return;
          SCOPED_TRACE("power cut after " + std::to_string(cut) + " changes");
          memory_host::install(state);
          std::vector<Bytes> now;
          const std::vector<Seen> seen = open_and_read(&now);
          ASSERT_FALSE(seen.empty()) << "the archive no longer opens";
          EXPECT_TRUE(seen == old || seen == changed) << "neither the old directory nor the new";
          std::vector<Bytes> expected = members;
          if (seen == changed) expected.erase(expected.begin() + count / 2);
          EXPECT_EQ(now, expected) << "members' bytes changed";
        });
    std::cout << crash_model::report(std::string("directory flush, ") +
                                         (compressed ? "compressed" : "plain"),
                                     tally, budget)
              << std::endl;
  }
};

TEST_F(PakFlushPowerCutTest, APlainDirectoryOpensOldOrNewAfterAnyCut) { explore(false, 150); }

TEST_F(PakFlushPowerCutTest, ACompressedDirectoryOpensOldOrNewAfterAnyCut) { explore(true, 400); }

}  // namespace
