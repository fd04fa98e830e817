// Replacing game files so that whatever moment a run ends at, the folder ends wholly old or
// wholly new: the journal names every file the run will make before it makes one; each new copy
// is written through the handle of its exclusive create and flushed; each old file keeps a
// second name (a hard link, or a copy where the folder takes no links) as its backup; the new
// copies take their names in one atomic rename each, in order, the update pack last; and the
// journal marked committed is the commit point. Until then every step is undone from the
// backups; after it the run is finished. The next run does the same from the journal (see
// interrupted_run.h).
#pragma once

#include <cstdint>

#include "app/update_journal.h"
#include "host/host.h"

struct FolderChange {
  char folder[WORK_PATH_ROOM];
  UpdateJournal journal;
  HostHandle journalFile;
  HostHandle staged[JOURNAL_MAX_FILES];  // each new copy's handle, open until it is written
  // Each new copy's content as its writer counted it on the way; a copy without it is read back.
  ContentId written[JOURNAL_MAX_FILES];
  bool counted[JOURNAL_MAX_FILES];
};

// Plans the change of the game files (indices into GAME_FILES, in the order they are to be put
// in place), picks free names beside them, writes the journal, and makes each new copy; their
// handles are open for writing. 0; HOST_IN_USE with nothing written when a file to be replaced
// is held by a running program; -1 with nothing left behind.
int FolderChangeBegin(FolderChange* change, const char* folder, const uint8_t* files, int count);
// The open handle of the i-th file's new copy.
HostHandle FolderChangeStaged(const FolderChange* change, int i);
// The i-th file's new copy, as its writer counted every byte it wrote from the start: its size
// and CRC-32 then need not be read back from the file.
void FolderChangeWritten(FolderChange* change, int i, const ContentId& content);
// Puts the written new copies in place. 0 once committed (a backup that will not go stays, named
// by the journal, for the next run to remove); -1 with the folder as it was, or, when even the
// way back failed, with the journal left for the next run to finish it.
int FolderChangeCommit(FolderChange* change);
// Gives the change up before its commit: the new copies and the journal go.
void FolderChangeAbandon(FolderChange* change);
