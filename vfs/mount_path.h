// Mount-letter paths and member lookup: a path whose first byte lies in an open archive's
// letter range names a member ("#:\Update.PAK"); every other path is a disk path.
#pragma once

#include "archive/pak_format.h"

// Lookup modes of vfs_find_member.
constexpr int VFS_LOOKUP = 0;
constexpr int VFS_SEARCH_START = 1;
constexpr int VFS_SEARCH_RESUME = 2;

extern int g_prefixStrip;       // nonzero: the mount prefix is not part of member names
extern int g_lastFoundArchive;  // slot of the archive that held the last entry found

// Where a search in the archives goes on: archive slot, entry position, entries still to scan
// (the matched one included). Positions, not addresses, so a growing directory keeps it valid.
struct VfsSearchResume {
  int archive;
  int entry;
  int remaining;
};
extern VfsSearchResume g_searchResume;

int vfs_archive_for_path(const char* path);
const char* vfs_strip_mount_prefix(const char* path);
void vfs_set_prefix_strip(int on);

// The live entry that the path names, or null. On success g_lastFoundArchive is set; in the
// search modes the resume point is saved. The returned pointer is valid until the directory
// changes.
PakEntry* vfs_find_member(const char* path, int mode);

// Position 0..count-1 whose comparison with the key is 0, or -1 (at most 200 comparisons).
int binary_search(const char* key, int count, int (*compare)(const char* key, int position));

// 0 when the name matches the wildcard pattern, -1 when not; at most limit name bytes are read.
int match_wildcard_name(const char* pattern, const char* name, int limit);
