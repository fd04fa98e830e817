// The archive table: up to ten open PAK archives, each with its file, mount-letter range,
// whole directory in memory and a sorted name index. Slots behave as a stack: a new archive
// takes the slot above the highest in use, and lookups go from the top down.
#pragma once

#include <cstdint>

#include "archive/pak_format.h"
#include "archive/pak_recognise.h"
#include "host/host.h"

constexpr int PAK_MAX_ARCHIVES = 10;
constexpr uint32_t PAK_IN_USE = 0x80000000u;
constexpr uint32_t PAK_DIRTY = 0x00000001u;

// Open modes of pak_open (those of host_open).
constexpr int PAK_OPEN_READ = 0;
constexpr int PAK_OPEN_READWRITE = 2;

// The index's names folded once (path_fold_key), for lookups that fold only their own name:
// the keys in index order, PAK_NAME_SIZE bytes each, and a hash table of index positions by key
// (open addressing, -1 for a free place), whose size is mask + 1, a power of two.
struct PakNameKeys {
  char* folded;
  int32_t* table;
  uint32_t mask;
  unsigned codePage;  // the code page the keys were folded under
};

struct PakArchive {
  HostHandle file;
  int32_t firstLetter;
  int32_t lastLetter;
  int32_t entryCount;           // entries in directory, deleted ones included
  int32_t packedDirectorySize;  // as read at open; only zero / non-zero matters afterwards
  int32_t directoryOffset;      // absolute file offset of the directory
  uint32_t state;               // PAK_IN_USE, PAK_DIRTY
  int32_t capacity;             // entries that directory has room for
  int32_t baseOffset;           // file offset of the archive start
  PakEntry* directory;          // owned; capacity entries
  int32_t* sortedIndex;         // owned; entryCount entry positions ordered by name, or null
  PakNameKeys keys;             // in sortedIndex's block; null keys without an index
  uint32_t generation;          // raised at every open and close of the slot, so records bound
                                // to an earlier archive in this slot can tell
};

extern PakArchive g_archives[PAK_MAX_ARCHIVES];
extern int g_archiveTop;

int pak_find_free_slot();
int pak_open(const char* path, int mode);
// pak_open that also says why it refused (why may be null; None after success).
int pak_open_why(const char* path, int mode, PakRefusal* why);
// Closes the slot, writing a changed directory back first.
void pak_close(int slot);
// Closes the slot without writing anything back: changes made in memory are dropped.
void pak_close_discard(int slot);
void pak_close_all();
int pak_flush_directory(int slot);
int pak_flush_top();
void pak_drop_index(int slot);

// Name order of two entries (pak_name_compare of their names).
int pak_entry_compare(const PakEntry* a, const PakEntry* b);

// The index being binary-searched: vfs_find_member publishes the archive slot here before it
// searches, and pak_index_compare compares a key with the entry at a position of its index.
extern int g_indexArchive;
int pak_index_compare(const char* key, int position);
// The same over the index's folded keys, for a key folded once (path_fold_key, PAK_NAME_SIZE
// bytes, under the archive's keys.codePage): one memcmp a step.
int pak_index_compare_folded(const char* foldedKey, int position);
// A position of the slot's index whose name folds to foldedKey, found through the hash table;
// -1 when none does or the slot has no keys.
int pak_index_find_folded(int slot, const char* foldedKey);
