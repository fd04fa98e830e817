// The archive oracle of the fuzz targets: invariants of an opened slot, and the directory
// compared across a close that writes it back and a fresh open.
#include "archive_oracle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/path.h"

namespace {

[[noreturn]] void mismatch(const char* what, long before, long after) {
  std::fprintf(stderr, "archive reopened with another %s: %ld before, %ld after\n", what, before,
               after);
  abort();
}

bool same_entry(const PakEntry& a, const PakEntry& b) {
  if (a.offset != b.offset) return false;
  if (a.offset == 0) return true;  // a deleted entry's name is cleared at open
  return a.size == b.size && a.tag == b.tag &&
         std::strncmp(a.name, b.name, PAK_NAME_SIZE) == 0;
}

}  // namespace

void check_opened(int slot) {
  const PakArchive& a = g_archives[slot];
  if (a.entryCount < 0 || a.entryCount > a.capacity || a.directory == nullptr) abort();
  for (int32_t i = 0; i < a.entryCount; ++i) {
    const PakEntry& e = a.directory[i];
    if (memchr(e.name, 0, PAK_NAME_SIZE) == nullptr) abort();
    if (e.offset == 0 && e.name[0] != 0) abort();
  }
  if (a.sortedIndex == nullptr) return;
  const int saved = g_indexArchive;
  g_indexArchive = slot;
  for (int32_t i = 0; i + 1 < a.entryCount; ++i) {
    const PakEntry& next = a.directory[a.sortedIndex[i + 1]];
    if (pak_index_compare(next.name, i) < 0) abort();  // index out of order
  }
  // Each name folded once as a lookup folds it, and found again through the hash table.
  if (a.keys.folded != nullptr) {
    char key[PAK_NAME_SIZE];
    for (int32_t i = 0; i < a.entryCount; ++i) {
      path_fold_key(a.directory[a.sortedIndex[i]].name, PAK_NAME_SIZE, a.keys.codePage, key);
      if (memcmp(key, a.keys.folded + size_t(i) * PAK_NAME_SIZE, PAK_NAME_SIZE) != 0) abort();
      const int found = pak_index_find_folded(slot, key);
      if (found < 0 || pak_index_compare_folded(key, found) != 0) abort();
    }
  }
  g_indexArchive = saved;
}

ArchiveImage archive_image(int slot) {
  const PakArchive& a = g_archives[slot];
  ArchiveImage image;
  image.firstLetter = a.firstLetter;
  image.lastLetter = a.lastLetter;
  image.directoryOffset = a.directoryOffset;
  image.entries.assign(a.directory, a.directory + a.entryCount);
  return image;
}

ArchiveImage expected_after_close(int slot, int mode, const ArchiveImage& atOpen) {
  if (mode == PAK_OPEN_READ) return atOpen;
  ArchiveImage image = archive_image(slot);
  image.writtenBack = (g_archives[slot].state & PAK_DIRTY) != 0;
  return image;
}

int reopen_and_compare(int slot, const char* path, int mode, const ArchiveImage& before) {
  pak_close(slot);
  PakRefusal why = PakRefusal::None;
  const int again = pak_open_why(path, mode, &why);
  if (again < 0) {
    std::fprintf(stderr, "archive written back no longer opens: %s\n", pak_refusal_text(why));
    abort();
  }
  check_opened(again);
  const ArchiveImage after = archive_image(again);
  if (after.firstLetter != before.firstLetter || after.lastLetter != before.lastLetter) {
    mismatch("letter range", before.firstLetter << 8 | before.lastLetter,
             after.firstLetter << 8 | after.lastLetter);
  }
  if (before.writtenBack ? after.directoryOffset < before.directoryOffset
                        : after.directoryOffset != before.directoryOffset) {
    mismatch("directory offset", before.directoryOffset, after.directoryOffset);
  }
  if (after.entries.size() != before.entries.size()) {
    mismatch("entry count", long(before.entries.size()), long(after.entries.size()));
  }
  for (size_t i = 0; i < before.entries.size(); ++i) {
    if (!same_entry(before.entries[i], after.entries[i])) mismatch("entry at", long(i), long(i));
  }
  return again;
}
