// The matching-member copy: every archive member matching a pattern, inflated, into the
// archive mounted at '@' under the same path with '@' as its mount letter.
#include <cstring>

#include "app/updater.h"
#include "vfs/search.h"

namespace {

constexpr size_t HALF_ROOM = 128;
constexpr uint32_t PLAIN_FILES = 0x80;

}  // namespace

int CopyTree(const char* pattern) {
  // The search may return paths of up to VFS_NAME_ROOM bytes; only those that fit a half of
  // the work area (the found path, then the destination built from it) are copied.
  char found[VFS_NAME_ROOM];
  char work[2 * HALF_ROOM];
  char* const source = work;
  char* const destination = work + HALF_ROOM;

  if (vfs_find_first_path(pattern, PLAIN_FILES, found) != 0) return 0;
  do {
    const size_t length = strnlen(found, sizeof found);
    if (length == 0 || length >= HALF_ROOM) return 0;
    memcpy(source, found, length + 1);
    memcpy(destination, found, length + 1);
    destination[0] = '@';
    if (ExtractMember(destination, source) != 0) return 0;
  } while (vfs_find_next_path(found) == 0);
  return 1;
}
