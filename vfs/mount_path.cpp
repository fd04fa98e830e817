// Mount-letter paths and member lookup: which open archive a path belongs to, the prefix-strip
// switch, the lookup of a member in the archives' directories (sorted index or scan), the
// bounded binary search and the wildcard name matcher shared with the directory search.
#include "vfs/mount_path.h"

#include <cstdint>
#include <cstring>

#include "archive/pak_table.h"
#include "host/path.h"

int g_prefixStrip = 0;
int g_lastFoundArchive = -1;
VfsSearchResume g_searchResume = {-1, -1, 0};

namespace {

// The generation of the archive slot when the resume point was saved: a search that meets a
// slot closed or reopened since then treats that archive as exhausted.
uint32_t g_searchResumeGeneration = 0;

constexpr int BINARY_SEARCH_MAX_COMPARISONS = 200;
constexpr int NAME_LIMIT = int(PAK_NAME_SIZE);

int top_slot() {
  if (g_archiveTop > PAK_MAX_ARCHIVES) return PAK_MAX_ARCHIVES - 1;
  return g_archiveTop - 1;
}

bool covers(const PakArchive& a, unsigned letter) {
  return (a.state & PAK_IN_USE) != 0 && a.firstLetter <= int(letter) &&
         int(letter) <= a.lastLetter;
}

// Entries the directory really holds: never more than its room.
int live_count(const PakArchive& a) {
  if (a.directory == nullptr || a.entryCount <= 0) return 0;
  return a.entryCount < a.capacity ? a.entryCount : a.capacity;
}

unsigned char fold_upper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// Scans entries start..0 of one archive for the first live entry that matches the key.
// Returns its position, or -1.
int scan_archive(const PakArchive& a, const char* key, int start) {
  for (int i = start; i >= 0; --i) {
    const PakEntry& e = a.directory[i];
    if (e.offset == 0) continue;
    if (match_wildcard_name(key, e.name, NAME_LIMIT) == 0) return i;
  }
  return -1;
}

// Looks the key up through the archive's sorted index. Among index neighbours with an equal
// name, the live entry nearest the end of the directory wins, so a deleted twin does not hide
// a live member. Returns the entry position, or -1.
int index_lookup(int slot, const char* key) {
  const PakArchive& a = g_archives[slot];
  const int count = live_count(a);
  g_indexArchive = slot;
  // The key folded once and found by its hash, when the index's keys were folded under the
  // code page in force; else a binary search that folds at every step.
  char folded[PAK_NAME_SIZE];
  int (*compare)(const char*, int) = pak_index_compare;
  int hit;
  if (a.keys.folded != nullptr && a.keys.codePage == path_names_code_page()) {
    path_fold_key(key, PAK_NAME_SIZE, a.keys.codePage, folded);
    key = folded;
    compare = pak_index_compare_folded;
    hit = pak_index_find_folded(slot, folded);
  } else {
    hit = binary_search(key, count, compare);
  }
  if (hit < 0) return -1;
  int best = -1;
  auto consider = [&](int at) {
    const int pos = a.sortedIndex[at];
    if (pos < 0 || pos >= count) return;
    if (a.directory[pos].offset != 0 && pos > best) best = pos;
  };
  consider(hit);
  for (int i = hit - 1; i >= 0 && compare(key, i) == 0; --i) consider(i);
  for (int i = hit + 1; i < count && compare(key, i) == 0; ++i) consider(i);
  return best;
}

void save_resume(int slot, int position) {
  g_searchResume = {slot, position, position + 1};
  g_searchResumeGeneration = g_archives[slot].generation;
}

}  // namespace

int vfs_archive_for_path(const char* path) {
  if (path == nullptr) return -1;
  const unsigned letter = static_cast<unsigned char>(path[0]);
  for (int slot = top_slot(); slot >= 0; --slot) {
    if (covers(g_archives[slot], letter)) return slot;
  }
  return -1;
}

const char* vfs_strip_mount_prefix(const char* path) {
  if (path == nullptr || g_prefixStrip == 0) return path;
  // Longer than two bytes with ':' second; each byte is checked before the next is read.
  if (path[0] == '\0' || path[1] != ':' || path[2] == '\0') return path;
  return path[2] == '\\' ? path + 3 : path + 2;
}

void vfs_set_prefix_strip(int on) { g_prefixStrip = on; }

PakEntry* vfs_find_member(const char* path, int mode) {
  if (path == nullptr) return nullptr;
  const unsigned letter = static_cast<unsigned char>(path[0]);
  const char* key = vfs_strip_mount_prefix(path);
  const bool searching = mode == VFS_SEARCH_START || mode == VFS_SEARCH_RESUME;

  int slot = top_slot();
  if (mode == VFS_SEARCH_RESUME) {
    const VfsSearchResume r = g_searchResume;
    if (r.archive < 0 || r.archive >= PAK_MAX_ARCHIVES) return nullptr;
    slot = r.archive < top_slot() ? r.archive : top_slot();
    if (slot == r.archive) {
      const PakArchive& a = g_archives[slot];
      if (covers(a, letter) && a.generation == g_searchResumeGeneration) {
        // Go on with the entry before the last hit, within what the directory holds now.
        int start = r.entry - 1;
        if (start > live_count(a) - 1) start = live_count(a) - 1;
        const int pos = scan_archive(a, key, start);
        if (pos >= 0) {
          g_lastFoundArchive = slot;
          save_resume(slot, pos);
          return &a.directory[pos];
        }
      }
      --slot;
    }
  }

  for (; slot >= 0; --slot) {
    const PakArchive& a = g_archives[slot];
    const int count = live_count(a);
    if (!covers(a, letter) || count == 0) continue;
    int pos;
    if (!searching && a.sortedIndex != nullptr) {
      pos = index_lookup(slot, key);
    } else {
      pos = scan_archive(a, key, count - 1);
    }
    if (pos < 0) continue;
    g_lastFoundArchive = slot;
    if (searching) save_resume(slot, pos);
    return &a.directory[pos];
  }
  return nullptr;
}

int binary_search(const char* key, int count, int (*compare)(const char* key, int position)) {
  if (count <= 0 || compare == nullptr) return -1;
  int lo = 0;
  int hi = count;
  int mid = count / 2;
  for (int i = 0; i < BINARY_SEARCH_MAX_COMPARISONS; ++i) {
    const int r = compare(key, mid);
    if (r == 0) return mid;
    if (r > 0) {
      lo = mid;
      int step = (hi - mid) / 2;
      if (step < 1) step = 1;
      mid += step;
      if (mid >= hi) return -1;
    } else {
      hi = mid;
      int step = (mid - lo) / 2;
      if (step < 1) step = 1;
      mid -= step;
      if (mid < lo) return -1;
    }
  }
  return -1;
}

// Pattern bytes are read up to the pattern's terminator only; name bytes only while fewer than
// limit of them have been consumed, so a name field without a terminator is never overrun. Both
// are walked by character in the member names' code page: a trail byte is never a '\\' and
// never folds, and '?' stands for one whole character.
int match_wildcard_name(const char* pattern, const char* name, int limit) {
  if (pattern == nullptr || name == nullptr || limit <= 0) return -1;
  const unsigned codePage = path_names_code_page();
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  const auto* q = reinterpret_cast<const unsigned char*>(name);
  int n = limit;  // name bytes that may still be read
  // Bytes of the name character at q, never past the name's limit.
  const auto name_char = [&]() -> int {
    return path_is_lead_byte(codePage, *q) && n > 1 && q[1] != '\0' ? 2 : 1;
  };
  bool starSeen = false;
  for (;;) {
    const unsigned char pc = *p;
    if (pc == '*') {
      if (starSeen) return 0;
      starSeen = true;
      // The pattern bytes between '*' and the next '.' are not compared ('.' is never a trail
      // byte).
      ++p;
      while (*p != '.') {
        if (*p == '\0') return 0;
        ++p;
      }
      ++p;
      // The name's characters up to and including its next '.' are taken by the '*'.
      for (;;) {
        const unsigned char c = *q;
        if (c == '\0') return 0;
        const int step = name_char();
        q += step;
        n -= step;
        if (n <= 0) return 0;
        if (step == 1 && c == '\\') return -1;
        if (step == 1 && c == '.') break;
      }
      continue;
    }
    const unsigned char qc = *q;
    const int step = name_char();
    const bool patternPair = path_is_lead_byte(codePage, pc) && p[1] != '\0';
    if (pc == '?' && qc != '\0') {
      // '?' stands for one character of the name, never for its end.
      ++p;
    } else if (patternPair || step == 2) {
      if (!patternPair || step != 2 || pc != qc || p[1] != q[1]) return -1;
      p += 2;
    } else if (fold_upper(pc) == fold_upper(qc)) {
      if (pc == '\0') return 0;
      ++p;
    } else {
      return -1;
    }
    q += step;
    n -= step;
    if (n <= 0) return 0;
  }
}
