// Recovery of an interrupted update from its journal, and the game folder's update lock.
// Replacement is atomic and the pack goes last, so before recovery the files in place already
// form a game that starts; recovery makes the folder wholly old or wholly new again.
#include "app/interrupted_run.h"

#include "app/content_id.h"
#include "app/game_path.h"

namespace {

constexpr char kLockName[] = "VelmorUpdate";  // the host adds ".lock"

struct EntryPaths {
  char target[WORK_PATH_ROOM];
  char staged[WORK_PATH_ROOM];
  char backup[WORK_PATH_ROOM];
};

// Removes a file the journal names, if it is there (tried twice: a scanner may hold it for a
// moment): 0 or -1.
int remove_named(const char* path) {
  const int there = host_lookup(path, nullptr);
  if (there == HOST_ABSENT) return 0;
  if (there != HOST_FOUND) return -1;
  return host_force_delete(path) == 0 || host_force_delete(path) == 0 ? 0 : -1;
}

// True when the file at path holds the content.
bool holds(const char* path, const ContentId& content) {
  ContentId id{};
  return ContentIdOfFile(path, &id) == 1 && id == content;
}

// The way back's first pass for one file: its old content back under its name. 0 or -1.
int restore_entry(const char* folder, const JournalEntry& e) {
  EntryPaths p;
  if (!JournalPaths(folder, e, p.target, p.staged, p.backup)) return -1;
  const int staged = host_lookup(p.staged, nullptr);
  if (staged != HOST_FOUND && staged != HOST_ABSENT) return -1;
  if (!e.hadOld) {
    // A file the run brought: gone again if its new copy took its name.
    if (staged == HOST_ABSENT && holds(p.target, e.newContent)) return host_force_delete(p.target);
    return 0;
  }
  // The old content is to stand under the file's name; a backup that holds it brings it back
  // where it does not. A new copy in place with no such backup cannot be undone; any other
  // content under the name is not the run's to change.
  ContentId now{};
  int read = ContentIdOfFile(p.target, &now);
  // A file another program holds for now cannot be read, nor can its backup when that is a
  // second name of it: the hold is waited out (a running program's is not), then it is read.
  if (read < 0 && host_busy(p.target) == 0) read = ContentIdOfFile(p.target, &now);
  if (read < 0) return -1;
  if (read == 0 || !(now == e.oldContent)) {
    if (holds(p.backup, e.oldContent)) {
      if (host_replace(p.backup, p.target) != 0) return -1;
    } else if (read == 1 && now == e.newContent && staged == HOST_ABSENT) {
      return -1;
    }
  }
  return 0;
}

// The way back's second pass for one file: its new copy and backup gone, and its attributes
// as they were. 0 or -1.
int clear_entry(const char* folder, JournalState state, const JournalEntry& e) {
  EntryPaths p;
  if (!JournalPaths(folder, e, p.target, p.staged, p.backup)) return -1;
  // The backup goes before the attributes come back: a backup that is a second name of the
  // file shares them, and its removal makes it writable.
  if (remove_named(p.staged) != 0 || remove_named(p.backup) != 0) return -1;
  // Before the journal said swapping, no game file was touched.
  if (state == JOURNAL_STAGING || !e.hadOld) return 0;
  uint32_t attributes = 0;
  const int there = host_lookup(p.target, &attributes);
  if (there == HOST_ABSENT) return 0;
  if (there != HOST_FOUND) return -1;
  if (attributes != e.oldAttributes && host_set_attributes(p.target, e.oldAttributes) != 0) return -1;
  return 0;
}

int roll_forward_entry(const char* folder, const JournalEntry& e) {
  EntryPaths p;
  if (!JournalPaths(folder, e, p.target, p.staged, p.backup)) return -1;
  const int staged = host_lookup(p.staged, nullptr);
  if (staged != HOST_FOUND && staged != HOST_ABSENT) return -1;
  // A new copy is put in place only when it is whole; a backup is never put back.
  if (staged == HOST_FOUND) {
    if (!holds(p.staged, e.newContent) || host_replace(p.staged, p.target) != 0) return -1;
  }
  return remove_named(p.backup);
}

}  // namespace

// Both ways stop at the first file that will not move: going on would put an old file beside a
// new pack (backwards, the pack goes first; forwards, it goes last).
int JournalRollBack(const char* folder, const UpdateJournal& journal) {
  // The way back waits longer on a file held for a moment than the way forward: giving up here
  // would leave the folder half new until the next run.
  const HostPatience wayBack(HOST_PATIENCE_WAY_BACK_MS);
  // Every game file first, so that a side file held by another program (a scanner reading a
  // new copy) keeps no game file new; then what the run left beside them.
  if (journal.state != JOURNAL_STAGING) {
    for (int i = journal.count - 1; i >= 0; --i) {
      if (restore_entry(folder, journal.entries[i]) != 0) return -1;
    }
  }
  for (int i = journal.count - 1; i >= 0; --i) {
    if (clear_entry(folder, journal.state, journal.entries[i]) != 0) return -1;
  }
  return 0;
}

int JournalRollForward(const char* folder, const UpdateJournal& journal) {
  for (int i = 0; i < journal.count; ++i) {
    if (roll_forward_entry(folder, journal.entries[i]) != 0) return -1;
  }
  return 0;
}

int RecoverInterruptedUpdate(const char* folder) {
  UpdateJournal journal{};
  const int read = JournalRead(folder, &journal);
  if (read == JOURNAL_UNFINISHED) return JournalRemove(folder);
  if (read <= 0) return read;
  const int done = journal.state == JOURNAL_COMMITTED ? JournalRollForward(folder, journal)
                                                      : JournalRollBack(folder, journal);
  if (done != 0) return -1;
  return JournalRemove(folder);
}

HostHandle FolderLockTake(const char* folder) {
  char path[WORK_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, kLockName) != 0) return HOST_INVALID_HANDLE;
  return host_lock(path);
}

void FolderLockRelease(const char* folder, HostHandle lock) {
  char path[WORK_PATH_ROOM];
  if (lock == HOST_INVALID_HANDLE || lock == HOST_IN_USE) return;
  if (BuildGamePath(path, sizeof path, folder, kLockName) != 0) return;
  host_unlock(path, lock);
}

bool FolderIsAbsolute(const char* folder) {
  if (folder == nullptr) return false;
  const auto slash = [](char c) { return c == '\\' || c == '/'; };
  const char first = folder[0];
  const bool drive = ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) &&
                     folder[1] == ':' && slash(folder[2]);
  const bool share = slash(folder[0]) && slash(folder[1]) && folder[2] != '\0';
#ifdef _WIN32
  return drive || share;
#else
  return drive || share || first == '/';
#endif
}

void RecoverAtStartUp(const char* folder) {
  if (!FolderIsAbsolute(folder)) return;
  const HostHandle lock = FolderLockTake(folder);
  if (lock == HOST_INVALID_HANDLE || lock == HOST_IN_USE) return;
  RecoverInterruptedUpdate(folder);
  FolderLockRelease(folder, lock);
}
