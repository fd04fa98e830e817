// Directory search: find-first / find-next over disk files (the host's enumeration) or over
// the members of the open archives (wildcard scan, newest archive first), plus the variants
// that return each hit joined to the pattern's directory. One search at a time.
#include "vfs/search.h"

#include <cstring>

#include "archive/pak_format.h"
#include "host/host.h"
#include "vfs/mount_path.h"
#include "host/path.h"

namespace {

enum class SearchState { Disk, Archive, Ended };

constexpr uint32_t ATTR_DIRECTORY = HOST_ATTR_DIRECTORY;

SearchState g_searchState = SearchState::Disk;
char g_searchPattern[VFS_NAME_ROOM] = {};
int g_searchDirLength = 0;

// Copies the member name from the pattern's directory length on into name (VFS_NAME_ROOM
// bytes). Reads only inside the 40-byte name field; a name shorter than the directory part
// gives an empty result rather than bytes past its end.
void copy_hit_name(const PakEntry& e, char* name) {
  const size_t length = strnlen(e.name, PAK_NAME_SIZE);
  size_t from = size_t(g_searchDirLength);
  if (from > length) from = length;
  const size_t n = length - from;  // < PAK_NAME_SIZE < VFS_NAME_ROOM
  std::memcpy(name, e.name + from, n);
  name[n] = '\0';
}

// Joins the pattern's directory part and a found name into path (VFS_NAME_ROOM bytes).
// Returns -1, path untouched, when the whole path would not fit.
int join_hit_path(const char* found, char* path) {
  char joined[VFS_NAME_ROOM];
  if (path_dir_part(joined, g_searchPattern) == nullptr) joined[0] = '\0';
  if (path_add_slash(joined, sizeof joined) != 0) return -1;
  const size_t dirLength = strnlen(joined, sizeof joined);
  const size_t nameLength = strnlen(found, VFS_NAME_ROOM);
  if (dirLength + nameLength >= sizeof joined) return -1;
  std::memcpy(joined + dirLength, found, nameLength);
  joined[dirLength + nameLength] = '\0';
  std::memcpy(path, joined, dirLength + nameLength + 1);
  return 0;
}

}  // namespace

int vfs_find_first(const char* pattern, uint32_t mask, char* name) {
  if (pattern == nullptr || name == nullptr) {
    g_searchState = SearchState::Ended;
    return -1;
  }
  // A pattern that does not fit the search buffer is refused, not cut.
  const size_t length = strnlen(pattern, VFS_NAME_ROOM);
  if (length >= VFS_NAME_ROOM) {
    g_searchState = SearchState::Ended;
    return -1;
  }
  std::memcpy(g_searchPattern, pattern, length + 1);

  if (vfs_archive_for_path(pattern) < 0) {
    g_searchState = SearchState::Disk;
    return host_find_first(pattern, mask, name);
  }

  // The directory part is measured on the key matched against member names, so it can be cut
  // off the names found.
  const char* key = vfs_strip_mount_prefix(g_searchPattern);
  g_searchDirLength = int(path_dir_length_in(key, path_names_code_page()));

  if ((mask & ATTR_DIRECTORY) != 0) {  // archives hold no directories
    g_searchState = SearchState::Ended;
    return -1;
  }
  const PakEntry* e = vfs_find_member(g_searchPattern, VFS_SEARCH_START);
  if (e == nullptr) {
    g_searchState = SearchState::Ended;
    return -1;
  }
  g_searchState = SearchState::Archive;
  copy_hit_name(*e, name);
  return 0;
}

int vfs_find_next(char* name) {
  if (name == nullptr) return -1;
  if (g_searchState == SearchState::Disk) return host_find_next(name);
  if (g_searchState == SearchState::Ended) return -1;
  const PakEntry* e = vfs_find_member(g_searchPattern, VFS_SEARCH_RESUME);
  if (e == nullptr) {
    g_searchState = SearchState::Ended;
    return -1;
  }
  copy_hit_name(*e, name);
  return 0;
}

int vfs_find_first_path(const char* pattern, uint32_t mask, char* path) {
  if (path == nullptr) return -1;
  char found[VFS_NAME_ROOM];
  if (vfs_find_first(pattern, mask, found) != 0) return -1;
  return join_hit_path(found, path);
}

int vfs_find_next_path(char* path) {
  if (path == nullptr) return -1;
  char found[VFS_NAME_ROOM];
  if (vfs_find_next(found) != 0) return -1;
  return join_hit_path(found, path);
}
