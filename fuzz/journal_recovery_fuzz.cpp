// Fuzz target for recovery from the update journal over the in-memory host: any journal bytes
// in a game folder holding any of the files a journal may name, with one change planned to
// fail. A journal that does not decode changes nothing (an unfinished one only goes); one that
// does changes no file it does not name, re-encodes to the same bytes, and when recovery
// succeeds leaves none of its new copies, backups or itself, and every file it rolled back
// holding its old content.
//
// Input: [failing change, 0: none][u16 length][journal bytes][files: bit i (0-2) the game file
//        of entry i, bit 3+i its new copy, bit 6 a file no journal names][backups: bit i the
//        backup of entry i; bit 3+i the game file holds the new bytes][u16 length][old bytes]
//        [new bytes: the rest]. New copies hold the new bytes, backups the old ones.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/interrupted_run.h"
#include "app/update_journal.h"
#include "archive/checksum.h"
#include "fuzz_input.h"
#include "support/host_override.h"
#include "support/memory_host.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Folder = std::map<std::string, Bytes>;

constexpr char kFolder[] = "G:";
constexpr char kJournal[] = "G:\\VelmorUpdate.journal";
constexpr char kBystander[] = "G:\\Velmor.EXE.~new9x";

ContentId id_of(const Bytes& b) { return ContentId{uint32_t(b.size()), pak_crc32(0, b.data(), b.size())}; }

// Every name the journal may touch: its entries' files, new copies and backups, and itself.
std::set<std::string> named(const UpdateJournal& j) {
  std::set<std::string> names = {kJournal};
  for (int i = 0; i < j.count; ++i) {
    char target[WORK_PATH_ROOM], staged[WORK_PATH_ROOM], backup[WORK_PATH_ROOM];
    if (!JournalPaths(kFolder, j.entries[i], target, staged, backup)) abort();
    names.insert(target);
    names.insert(staged);
    names.insert(backup);
  }
  return names;
}

void check_untouched_outside(const Folder& before, const Folder& after, const std::set<std::string>& mayChange) {
  std::set<std::string> all;
  for (const auto& e : before) all.insert(e.first);
  for (const auto& e : after) all.insert(e.first);
  for (const std::string& name : all) {
    if (mayChange.count(name) != 0) continue;
    const auto b = before.find(name), a = after.find(name);
    if ((b == before.end()) != (a == after.end())) abort();
    if (b != before.end() && b->second != a->second) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const int failingChange = in.byte();
  const Bytes journalBytes = in.block();
  const uint8_t files = in.byte();
  const uint8_t backups = in.byte();
  const Bytes oldBytes = in.block();
  const Bytes newBytes = in.rest();
  memory_host::install();
  memory_host::put(kJournal, journalBytes);
  if (files & 0x40) memory_host::put(kBystander, {'b'});

  UpdateJournal journal{};
  const bool valid = JournalDecode(journalBytes.data(), journalBytes.size(), &journal);
  if (valid) {
    Bytes again(JOURNAL_SIZE);
    JournalEncode(journal, again.data());
    if (again != journalBytes) abort();
    for (int i = 0; i < journal.count; ++i) {
      char target[WORK_PATH_ROOM], staged[WORK_PATH_ROOM], backup[WORK_PATH_ROOM];
      if (!JournalPaths(kFolder, journal.entries[i], target, staged, backup)) abort();
      if (files & (1 << i)) memory_host::put(target, (backups & (8 << i)) ? newBytes : oldBytes);
      if (files & (8 << i)) memory_host::put(staged, newBytes);
      if (backups & (1 << i)) memory_host::put(backup, oldBytes);
    }
  }
  const Folder before = memory_host::files();
  memory_host::fail_change(failingChange);
  const int result = RecoverInterruptedUpdate(kFolder);
  const Folder after = memory_host::files();

  const bool unfinished = journalBytes.size() < JOURNAL_SIZE ||
                          (journalBytes.size() == JOURNAL_SIZE && Bytes(JOURNAL_SIZE, 0) == journalBytes);
  if (!valid) {
    // Damaged: a failure with nothing touched. Unfinished: only the journal goes.
    if (!unfinished && (result != -1 || after != before)) abort();
    check_untouched_outside(before, after, {kJournal});
  } else {
    check_untouched_outside(before, after, named(journal));
    if (result == 0) {
      for (const std::string& name : named(journal)) {
        const bool side = name.find(".~") != std::string::npos || name == kJournal;
        if (side && after.count(name) != 0) abort();
      }
      // Rolled back: wherever a backup held the old content, the file holds it again.
      for (int i = 0; i < journal.count && journal.state == JOURNAL_SWAPPING; ++i) {
        const JournalEntry& e = journal.entries[i];
        char target[WORK_PATH_ROOM], staged[WORK_PATH_ROOM], backup[WORK_PATH_ROOM];
        JournalPaths(kFolder, e, target, staged, backup);
        const auto b = before.find(backup);
        if (!e.hadOld || b == before.end() || !(id_of(b->second) == e.oldContent)) continue;
        const auto t = after.find(target);
        if (t == after.end() || !(id_of(t->second) == e.oldContent)) abort();
      }
    }
  }
  host_restore_all();
  return 0;
}
