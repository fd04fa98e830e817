// Writes the seed corpus of the journal recovery fuzz target: journals in each state over
// folders in which a run was cut at each step (new copies written, some swapped, backups taken),
// with old and new contents whose sizes and CRC-32s the journals name.
#include <cstdio>
#include <string>
#include <vector>

#include "app/update_journal.h"
#include "archive/checksum.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put_block(Bytes& out, const Bytes& b) {
  out.push_back(uint8_t(b.size() & 0xFF));
  out.push_back(uint8_t(b.size() >> 8));
  out.insert(out.end(), b.begin(), b.end());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const Bytes oldBytes(300, 'o'), newBytes(500, 'n');
  const ContentId oldId{uint32_t(oldBytes.size()), pak_crc32(0, oldBytes.data(), oldBytes.size())};
  const ContentId newId{uint32_t(newBytes.size()), pak_crc32(0, newBytes.data(), newBytes.size())};
  // files: targets present, new copies present; backups: backups present, targets swapped.
  const struct {
    const char* name;
    JournalState state;
    uint8_t files, backups;
  } cases[] = {
      {"staging", JOURNAL_STAGING, 0x0F, 0x00},
      {"swapping_none_swapped", JOURNAL_SWAPPING, 0x3F, 0x07},
      {"swapping_two_swapped", JOURNAL_SWAPPING, 0x27, 0x1F},
      {"swapping_exe_missing", JOURNAL_SWAPPING, 0x25, 0x1F},
      {"committed_backups_left", JOURNAL_COMMITTED, 0x07, 0x3F},
      {"committed_pack_not_swapped", JOURNAL_COMMITTED, 0x27, 0x1F},
  };
  int index = 0;
  for (const auto& c : cases) {
    UpdateJournal j{};
    j.state = c.state;
    j.count = 3;
    j.entries[0] = JournalEntry{2, true, 0, 0, 0x20, oldId, newId};
    j.entries[1] = JournalEntry{0, true, 1, 2, 0x01, oldId, newId};
    j.entries[2] = JournalEntry{1, true, 0, 0, 0x20, oldId, newId};
    Bytes journal(JOURNAL_SIZE);
    JournalEncode(j, journal.data());
    for (const uint8_t failing : {0, 3}) {
      Bytes seed = {failing};
      put_block(seed, journal);
      seed.push_back(uint8_t(c.files | 0x40));
      seed.push_back(c.backups);
      put_block(seed, oldBytes);
      seed.insert(seed.end(), newBytes.begin(), newBytes.end());
      const std::string path = dir + "/" + std::to_string(index++) + "_" + c.name + ".bin";
      FILE* f = std::fopen(path.c_str(), "wb");
      if (f == nullptr) return 1;
      std::fwrite(seed.data(), 1, seed.size(), f);
      std::fclose(f);
    }
  }
  return 0;
}
