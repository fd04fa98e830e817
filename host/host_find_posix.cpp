// Directory enumeration on POSIX with the Windows name-pattern rules: '*' any run of characters,
// '?' exactly one, "*.*" every name, ASCII case ignored; the pattern's folder resolves as paths
// do. Patterns are matched against the UTF-8 names on disk, and names go back in the code page:
// one it cannot spell is skipped, never handed out altered.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include "host/host_posix.h"
#include "host/path.h"

namespace host_posix {
namespace {

struct Search {
  DIR* listing;
  char pattern[DISK_PATH_ROOM];  // the name part of the pattern, as names on disk are written
};

// Fills out with the next listed name that matches; false when the listing runs out.
bool next_match(Search& search, HostFindData* out) {
  while (const dirent* entry = readdir(search.listing)) {
    if (!path_name_matches(search.pattern, entry->d_name)) continue;
    struct stat st;
    const int dir = dirfd(search.listing);
    if (fstatat(dir, entry->d_name, &st, 0) != 0 &&
        fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // vanished since it was listed
    }
    memset(out, 0, sizeof *out);
    size_t written = 0;
    // A name the code page cannot spell, or too long, cannot be handed back whole.
    if (!from_disk_text(entry->d_name, strlen(entry->d_name), out->name, sizeof out->name, &written))
      continue;
    out->attributes = attributes_of(st);
    return true;
  }
  return false;
}

// Index of the first byte of the pattern's name part.
size_t name_start(const char* pattern, size_t length) {
  for (size_t i = length; i > 0; --i) {
    if (pattern[i - 1] == '\\' || pattern[i - 1] == '/') return i;
  }
  const char letter = static_cast<char>(pattern[0] | 0x20);
  return (letter >= 'a' && letter <= 'z' && pattern[1] == ':') ? 2 : 0;
}

}  // namespace

intptr_t find_first(const char* hostPattern, HostFindData* out) {
  const size_t hostLength = strnlen(hostPattern, HOST_PATH_ROOM);
  if (hostLength == 0 || hostLength >= HOST_PATH_ROOM || out == nullptr) return -1;
  // Converted whole first, so that a double-byte character ending in 0x5C is no separator.
  char pattern[DISK_PATH_ROOM];
  size_t length = 0;
  if (!to_disk_text(hostPattern, hostLength, pattern, sizeof pattern, &length)) return -1;
  const size_t split = name_start(pattern, length);
  if (split == length) return -1;  // no name to match

  PosixPath dir;
  if (split == 0) {
    memcpy(dir.text, ".", 2);
  } else {
    char dirPart[DISK_PATH_ROOM];
    memcpy(dirPart, pattern, split);
    dirPart[split] = '\0';
    if (!map_disk_path(dirPart, dir)) return -1;
  }

  Search* search = new (std::nothrow) Search;
  if (search == nullptr) return -1;
  memcpy(search->pattern, pattern + split, length - split + 1);
  search->listing = opendir(dir.text);
  if (search->listing == nullptr || !next_match(*search, out)) {
    find_close(reinterpret_cast<intptr_t>(search));
    return -1;
  }
  return reinterpret_cast<intptr_t>(search);
}

int find_next(intptr_t handle, HostFindData* out) {
  if (handle == -1 || handle == 0 || out == nullptr) return -1;
  return next_match(*reinterpret_cast<Search*>(handle), out) ? 0 : -1;
}

void find_close(intptr_t handle) {
  if (handle == -1 || handle == 0) return;
  Search* search = reinterpret_cast<Search*>(handle);
  if (search->listing != nullptr) closedir(search->listing);
  delete search;
}

}  // namespace host_posix
