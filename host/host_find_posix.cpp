// Directory enumeration on POSIX with the Windows name-pattern rules: '*' any run of bytes,
// '?' exactly one, "*.*" every name, ASCII case ignored; the pattern's folder resolves as paths do.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include "host/host_posix.h"

namespace host_posix {
namespace {

struct Search {
  DIR* listing;
  char pattern[HOST_PATH_ROOM];  // the name part of the pattern
};

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Wildcard match with one backtrack point: linear in practice, no recursion.
bool name_matches(const char* pattern, const char* name) {
  if (strcmp(pattern, "*.*") == 0) return true;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || fold(*pattern) == fold(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

// Fills out with the next listed name that matches; false when the listing runs out.
bool next_match(Search& search, HostFindData* out) {
  while (const dirent* entry = readdir(search.listing)) {
    const size_t length = strlen(entry->d_name);
    if (length >= HOST_PATH_ROOM) continue;  // cannot be handed back whole
    if (!name_matches(search.pattern, entry->d_name)) continue;
    struct stat st;
    const int dir = dirfd(search.listing);
    if (fstatat(dir, entry->d_name, &st, 0) != 0 &&
        fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // vanished since it was listed
    }
    memset(out, 0, sizeof *out);
    out->attributes = attributes_of(st);
    memcpy(out->name, entry->d_name, length + 1);
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

intptr_t find_first(const char* pattern, HostFindData* out) {
  const size_t length = strnlen(pattern, HOST_PATH_ROOM);
  if (length == 0 || length >= HOST_PATH_ROOM || out == nullptr) return -1;
  const size_t split = name_start(pattern, length);
  if (split == length) return -1;  // no name to match

  PosixPath dir;
  if (split == 0) {
    memcpy(dir.text, ".", 2);
  } else {
    char dirPart[HOST_PATH_ROOM];
    memcpy(dirPart, pattern, split);
    dirPart[split] = '\0';
    if (!to_posix_path(dirPart, dir)) return -1;
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
