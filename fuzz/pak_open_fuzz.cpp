// Fuzz target for the archive reader: the input, held by the in-memory host, is opened as an
// archive (through the locator, as an executable, when its first byte is odd) and checked.
// Stand-alone archives are opened for writing, written back on close and opened again: the
// directory must read as it did, and the bytes before it must be as they were apart from the
// header's count, offset and packed size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive_oracle.h"
#include "support/host_override.h"
#include "support/memory_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kRewrittenFrom = 4;  // header bytes a flush may rewrite: 4 to 23
constexpr size_t kRewrittenTo = PAK_HEADER_SIZE;

// Aborts unless the file's bytes before kept are the old ones, header fields aside.
void check_kept(const Bytes& old, const Bytes& now, int32_t baseOffset, int32_t kept) {
  if (now.size() < old.size()) abort();
  for (size_t i = 0; i < size_t(kept) && i < old.size(); ++i) {
    const size_t inHeader = i - size_t(baseOffset);
    if (i >= size_t(baseOffset) && inHeader >= kRewrittenFrom && inHeader < kRewrittenTo) continue;
    if (now[i] != old[i]) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool executable = size > 0 && (data[0] & 1) != 0;
  const char* path = executable ? "input.exe" : "input.pak";
  const int mode = executable ? PAK_OPEN_READ : PAK_OPEN_READWRITE;
  memory_host::install();
  const Bytes old(data, data + size);
  memory_host::put(path, old);

  int slot = pak_open(path, mode);
  if (slot >= 0) {
    check_opened(slot);
    const int32_t baseOffset = g_archives[slot].baseOffset;
    const int32_t directoryOffset = g_archives[slot].directoryOffset;
    // A directory written back goes past the end of the file and leaves every old byte but
    // the header's fields as it was; only a directory of no entries may be written over.
    const int32_t kept = g_archives[slot].entryCount > 0 ? int32_t(old.size()) : directoryOffset;
    const ArchiveImage atOpen = archive_image(slot);
    if (!executable) g_archives[slot].state |= PAK_DIRTY;
    slot = reopen_and_compare(slot, path, mode, expected_after_close(slot, mode, atOpen));
    check_kept(old, *memory_host::find(path), baseOffset, kept);
    pak_close(slot);
  }
  if (g_archiveTop != 0) abort();
  host_restore_all();
  return 0;
}
