// Replacing files of the game folder without ever leaving them broken: the new copy is written
// whole beside the old file first, the old file waits under a backup name while the new one
// takes its place, and every step can be undone until the backups are removed.
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "host/host.h"

enum class StageState { Empty, Staged, Swapped, Done };

struct StagedFile {
  char target[WORK_PATH_ROOM];  // the file being replaced
  char staged[WORK_PATH_ROOM];  // its new copy, written before anything else changes
  char backup[WORK_PATH_ROOM];  // where the old file waits until the replacement is final
  uint32_t oldAttributes;       // the old file's attributes; HOST_NO_SUCH_FILE when there was none
  StageState state;
};

// Picks free names for the new copy and the backup beside target. 0, or -1 when none fits.
int StagedFileBegin(StagedFile* file, const char* target);
// Removes the new copy of a file not yet swapped in (a failed removal is tried once more).
void StagedFileDiscard(StagedFile* file);

// Puts the new copies of files in place, in order, then removes the old files. Returns 0;
// or -1 with every file as it was and no new copy left, when a step fails before the first
// old file is removed. Old files are removed first to last, and the first removal is the
// point after which the replacement stands (a later failed removal is retried once, and a
// backup that still cannot go stays behind).
int StagedCommit(StagedFile* const* files, int count);
