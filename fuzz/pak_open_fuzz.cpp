// Fuzz target for the archive reader: the input becomes a file that is opened as an archive
// (through the locator, as an executable, when its first byte is odd), checked, and closed;
// stand-alone archives are opened for writing and flushed on close.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "archive/pak_table.h"
#include "fuzz_file.h"

namespace {

const std::string& scratch_folder() { return fuzz_scratch_folder("pak-open-fuzz"); }

// What every opened archive must satisfy, whatever the file held.
void check_opened(int slot) {
  const PakArchive& a = g_archives[slot];
  if (a.entryCount < 0 || a.entryCount > a.capacity || a.directory == nullptr) abort();
  for (int32_t i = 0; i < a.entryCount; ++i) {
    const PakEntry& e = a.directory[i];
    if (memchr(e.name, 0, PAK_NAME_SIZE) == nullptr) abort();
    if (e.offset == 0 && e.name[0] != 0) abort();
  }
  if (a.sortedIndex == nullptr) return;
  g_indexArchive = slot;
  for (int32_t i = 0; i + 1 < a.entryCount; ++i) {
    const PakEntry& next = a.directory[a.sortedIndex[i + 1]];
    if (pak_index_compare(next.name, i) < 0) abort();  // index out of order
  }
  g_indexArchive = -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool executable = size > 0 && (data[0] & 1) != 0;
  const std::string path = scratch_folder() + (executable ? "/input.exe" : "/input.pak");
  if (!fuzz_write_file(path, data, size)) return 0;

  const int slot = pak_open(path.c_str(), executable ? PAK_OPEN_READ : PAK_OPEN_READWRITE);
  if (slot >= 0) {
    check_opened(slot);
    if (!executable) g_archives[slot].state |= PAK_DIRTY;
    pak_close(slot);
  }
  if (g_archiveTop != 0) abort();
  return 0;
}
