// Replacing files of the game folder so that a crash at any moment leaves each of them whole,
// old or new: the new copy is written and flushed beside the old file under a name made for
// it alone, the old file keeps a second name (a hard link) as its backup, and the new copy
// then takes the file's name in one atomic rename over it. Files are replaced in the order
// given, so the last one is the commit record; until it is in place every step can be undone
// from the backups, and the next run finds whatever a crash left (see interrupted_run.h).
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "host/host.h"

enum class StageState { Empty, Staged, Swapped, Done };

struct StagedFile {
  char target[WORK_PATH_ROOM];  // the file being replaced
  char staged[WORK_PATH_ROOM];  // its new copy, written before anything else changes
  char backup[WORK_PATH_ROOM];  // a second name of the old file while the replacement runs
  bool hadOld;                  // the target existed
  uint32_t oldAttributes;       // and had these attributes
  StageState state;
};

// Marks of the names beside a game file: "<name>.~new<digit>" for a new copy,
// "<name>.~old<digit>" for a backup.
constexpr char STAGED_MARK[] = "new";
constexpr char BACKUP_MARK[] = "old";
constexpr int STAGED_NAME_DIGITS = 10;

// Makes the new copy's file beside target under a name no file had (created exclusively, so
// no file already there is ever cut), empty. 0, or -1 when none could be made.
int StagedFileBegin(StagedFile* file, const char* target);
// Removes the new copy of a file not yet swapped in (a failed removal is tried once more).
void StagedFileDiscard(StagedFile* file);

// Puts the new copies in place, in order, after checking that no old file is held by a running
// program; then removes the backups. Returns 0; or -1 with every file as it was and no new copy
// or backup left, when a step fails before the last file is in place. A backup that will not
// go after that stays for the next run to remove.
int StagedCommit(StagedFile* const* files, int count);
