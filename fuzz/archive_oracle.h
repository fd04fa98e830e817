// What fuzz targets check of an open archive: the table's invariants whatever the file held,
// and the directory it must show again when it is closed (written back) and opened anew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/pak_table.h"

// The entries as they must read after a reopen: deleted ones by position only.
struct ArchiveImage {
  int32_t firstLetter = 0;
  int32_t lastLetter = 0;
  int32_t directoryOffset = 0;
  // The close writes the directory back: it then goes past the old one (or past the end of the
  // file), never lower.
  bool writtenBack = false;
  std::vector<PakEntry> entries;
};

// Aborts unless the slot's counts, names and sorted index are sound.
void check_opened(int slot);

ArchiveImage archive_image(int slot);

// Closes the slot (a changed directory is written back), opens path again in mode and aborts
// unless it opens sound and with the expected image. Returns the new slot.
int reopen_and_compare(int slot, const char* path, int mode, const ArchiveImage& expected);
// The image a reopen must show: the directory in memory when the archive was opened for
// writing; for reading, the one it had when opened, since nothing can be written back.
ArchiveImage expected_after_close(int slot, int mode, const ArchiveImage& atOpen);
