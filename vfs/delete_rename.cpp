// Delete and rename for disk files (host delete and move) and archive members (the in-memory
// directory entry changes, the archive is marked dirty and written back when it is closed).
#include "vfs/delete_rename.h"

#include <cstring>

#include "archive/pak_table.h"
#include "vfs/file_handle.h"
#include "host/host.h"
#include "vfs/mount_path.h"
#include "host/path.h"

namespace {

// Binds a free open-file record to the live member the path names, for the time of one call.
// Returns the slot, or -1.
int bind_member(const char* path) {
  const int s = vfs_find_free_slot();
  if (s < 0 || vfs_bind_slot(s, path) != 0) return -1;
  return s;
}

PakEntry& entry_of(const OpenFile& f) { return g_archives[f.archive].directory[f.entry]; }

// The member's changed entry must reach the file: written, and the archive dirty now.
void mark_written(OpenFile& f) {
  f.written = 1;
  g_archives[f.archive].state |= PAK_DIRTY;
}

}  // namespace

int vfs_delete(const char* path) {
  if (vfs_archive_for_path(path) < 0) return host_delete(path);
  const int s = bind_member(path);
  if (s < 0) return -1;
  OpenFile& f = g_openFiles[s];
  entry_of(f).offset = 0;
  mark_written(f);
  vfs_release_slot(s);
  return 0;
}

int vfs_rename(const char* oldPath, const char* newName) {
  if (vfs_archive_for_path(oldPath) < 0) return host_move(oldPath, newName);
  if (newName == nullptr) return -1;
  const int s = bind_member(oldPath);
  if (s < 0) return -1;
  OpenFile& f = g_openFiles[s];

  // The new name keeps the old name's directory part and must fit the 40-byte field whole.
  const char* key = vfs_strip_mount_prefix(oldPath);
  char joined[HOST_PATH_ROOM] = {};
  size_t dirLength = 0;
  if (strnlen(key, sizeof joined) < sizeof joined && path_dir_part(joined, key) != nullptr) {
    dirLength = strnlen(joined, sizeof joined);
  } else if (key[0] != '\0') {
    vfs_release_slot(s);
    return -1;
  }
  const size_t nameLength = strnlen(newName, PAK_NAME_SIZE);
  if (dirLength + nameLength >= PAK_NAME_SIZE) {
    vfs_release_slot(s);
    return -1;
  }

  PakEntry& e = entry_of(f);
  std::memset(e.name, 0, sizeof e.name);
  std::memcpy(e.name, joined, dirLength);
  std::memcpy(e.name + dirLength, newName, nameLength);
  mark_written(f);
  // The index no longer matches the names; lookups in this archive scan from now on.
  pak_drop_index(f.archive);
  vfs_release_slot(s);
  return 0;
}
