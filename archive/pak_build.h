// Whole-archive operations: creating an empty archive, reading a header's user value,
// appending an archive to an executable, and compacting an archive (with a ".BAK" backup of
// the previous file, or step by step into a new file of the caller's choosing).
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/pak_format.h"
#include "host/host.h"

// Room of pak_compact's backup path, terminator included. Longer paths are refused.
constexpr size_t PAK_BACKUP_PATH_ROOM = 112;

// Bytes moved per read and write of the copy loops.
constexpr int32_t PAK_COPY_CHUNK = 64000;

// Creates (or truncates) an empty archive and opens it read/write. Returns the slot, or -1
// (a path that would be read as an executable is refused before anything is created; a file
// whose writes fell short is removed).
int pak_create(const char* path, int firstLetter, int lastLetter, uint32_t userValue,
               int compressDirectory);

// The header's userValue, or 0xFFFFFFFF when the file cannot be opened or holds fewer than
// 20 bytes.
uint32_t pak_read_user_value(const char* path);

// Appends the archive file and the four-byte locator to the executable. On failure the
// executable is put back to its previous bytes from a copy made beside it first.
int pak_append_to_executable(const char* executablePath, const char* archivePath);

// Rebuilds the archive without its deleted entries and keeps the previous file under the same
// name with the extension ".BAK". On a failure after the backup rename, the half-written file is
// removed and the previous file gets its own name back.
int pak_compact(const char* path);

// Step-by-step compaction of the archive open in a slot into a new file: pak_compact_begin
// creates the output, pak_compact_step copies at most one PAK_COPY_CHUNK of member data per
// call, pak_compact_finish writes the new directory and header. A failure at any step removes
// the output; pak_compact_abandon does the same for a compaction the caller gives up.
struct PakCompaction {
  int slot;
  HostHandle output;
  PakHeader header;
  PakEntry* directory;  // the kept entries, in directory order, with their new offsets
  uint8_t* buffer;      // PAK_COPY_CHUNK bytes
  int32_t next;         // next entry of the source directory to look at
  int32_t kept;
  int32_t position;     // where the next member byte goes in the output
  int32_t memberLeft;   // bytes of the member being copied that are still to come
  int32_t memberFrom;   // file offset in the source of the next byte to copy
  int64_t bytesTotal;   // member bytes the compaction keeps
  int64_t bytesDone;
  char outputPath[HOST_PATH_ROOM];
};

// 0, or -1 (nothing left behind).
int pak_compact_begin(PakCompaction* c, int slot, const char* outputPath);
// 1 while more remains to copy, 0 when every kept member is copied, -1 on failure.
int pak_compact_step(PakCompaction* c);
// 0, or -1. Either way the compaction's resources are released.
int pak_compact_finish(PakCompaction* c);
void pak_compact_abandon(PakCompaction* c);

// pak_compact_begin, every step and pak_compact_finish in one call: 0, or -1.
int pak_compact_to(int slot, const char* outputPath);
