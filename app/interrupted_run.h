// Putting right what an update that ended part way (killed, crashed, the power gone) left in
// the game folder, from its journal alone: before the commit point every file goes back to its
// old content, after it the run is finished; then exactly the files the journal names go, and
// the journal last. Without a journal nothing is touched, whatever the folder holds.
#pragma once

#include "app/update_journal.h"
#include "host/host.h"

// Every file the journal names back to its old content, latest first; the new copies and
// backups it names removed. 0, or -1 when a file could not be put back (the journal stays).
int JournalRollBack(const char* folder, const UpdateJournal& journal);
// Every new copy the journal names in place, then its backups removed: 0 or -1.
int JournalRollForward(const char* folder, const UpdateJournal& journal);

// The folder's journal acted on and removed. 0 when there was none or all went well; -1 when
// the journal could not be read or is damaged (nothing touched), or a step failed. The caller
// holds the folder's update lock.
int RecoverInterruptedUpdate(const char* folder);

// One update per game folder, whoever runs it: a lock file in the folder itself
// ("VelmorUpdate.lock"), held from before recovery to the end of the run. The lock handle;
// HOST_IN_USE while another updater holds it; -1 when it could not be taken.
constexpr char FOLDER_LOCK_FILE_NAME[] = "VelmorUpdate.lock";
HostHandle FolderLockTake(const char* folder);
void FolderLockRelease(const char* folder, HostHandle lock);

// True for a folder recovery may act in without the user having chosen it: an absolute path
// ("X:\...", "\\server\...", or on POSIX "/...").
bool FolderIsAbsolute(const char* folder);
// Start-up's recovery of the folder the settings name: only for an absolute folder, under the
// folder's lock, and not at all while another updater holds it.
void RecoverAtStartUp(const char* folder);
