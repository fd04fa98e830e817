// Updates carried as deltas: the payload's manifest names, for each game file, its new content
// (size, SHA-256) and the bases it has deltas for. Before any change the game's own files are
// hashed and each matched to a base; each new copy is then rebuilt from its base into the
// staged file by streaming, and its SHA-256 checked before the commit.
#pragma once

#include <cstdint>

#include "archive/delta_format.h"
#include "host/host.h"

struct ContentId;

// How one game file's new copy is written.
struct DeltaFilePlan {
  bool listed;     // the manifest names this file (its new copy is checked against the record)
  bool fromBase;   // rebuilt from the game's own file by the delta for record.base
  ManifestRecord record;
};

struct DeltaPlan {
  bool manifest;  // the payload carries a manifest
  DeltaFilePlan files[DELTA_FILE_COUNT];  // by DELTA_FILE_EXE, DELTA_FILE_PACK
};

// What DeltaWriteGameFile returns for a delta or whole file whose content is not what the
// manifest says.
constexpr int DELTA_CONTENT_WRONG = -2;

// Reads the payload's manifest, if it has one, and for each file it lists hashes the game's own
// file (only when its size is that of some base) and picks the matching base, or the whole file.
// 0, or the result that ends the run with nothing touched: RESULT_PACK_DAMAGED for a manifest
// that does not decode or a whole file it lists that the payload lacks, RESULT_GAME_FILES_BAD
// for a file that matches no base when the payload does not carry it whole, RESULT_FAILED for a
// game file that cannot be read.
uint32_t DeltaPlanMake(const char* folder, DeltaPlan* plan);
// Writes game file `file`'s new copy into staged (open, written from its start, flushed): from
// its base, or from the payload's whole member (memberName). 0, -1 on a failure to read or
// write, DELTA_CONTENT_WRONG when the delta does not decode or the new copy's size or SHA-256
// is not the manifest's.
int DeltaWriteGameFile(HostHandle staged, const char* folder, const DeltaPlan& plan, int file,
                       const char* memberName);
// The same, with the new copy's size and CRC-32 as written counted into written (when it is
// given and the copy was written whole).
int DeltaWriteGameFile(HostHandle staged, const char* folder, const DeltaPlan& plan, int file,
                       const char* memberName, ContentId* written);
