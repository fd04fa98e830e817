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

// Aborts unless the file's bytes before the directory are the old ones, header fields aside.
void check_before_directory(const Bytes& old, const Bytes& now, int32_t baseOffset,
                            int32_t directoryOffset) {
  if (now.size() < old.size()) abort();
  for (size_t i = 0; i < size_t(directoryOffset) && i < old.size(); ++i) {
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
    if (!executable) g_archives[slot].state |= PAK_DIRTY;
    slot = reopen_and_compare(slot, path, mode, archive_image(slot));
    check_before_directory(old, *memory_host::find(path), baseOffset, directoryOffset);
    pak_close(slot);
  }
  if (g_archiveTop != 0) abort();
  host_restore_all();
  return 0;
}
