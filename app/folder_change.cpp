// The journalled replacement of game files: free side names, the journal, new copies made
// exclusively, backups by link or by copy, the swaps in order, the commit mark, and the way back.
#include "app/folder_change.h"

#include <cstdio>
#include <cstring>

#include "app/content_id.h"
#include "app/game_path.h"
#include "app/interrupted_run.h"
#include "app/update_log.h"

namespace {

constexpr int32_t kCopyChunk = 64 * 1024;

struct EntryPaths {
  char target[WORK_PATH_ROOM];
  char staged[WORK_PATH_ROOM];
  char backup[WORK_PATH_ROOM];
};

bool paths_of(const FolderChange& c, int i, EntryPaths* p) {
  return JournalPaths(c.folder, c.journal.entries[i], p->target, p->staged, p->backup);
}

bool name_free(const char* path) { return host_lookup(path, nullptr) == HOST_ABSENT; }

// A step about a file another program holds, naming that program where the system can tell.
void log_holder(const char* step, const char* path) {
  char holder[256];
  char line[400];
  if (host_holder_name(path, holder, sizeof holder) == 0) {
    UpdateLogStep(step, path);
    return;
  }
  snprintf(line, sizeof line, "%s (held by %s)", step, holder);
  UpdateLogStep(line, path);
}

// The first digit whose side name beside target is free (and not taken by an earlier entry of
// the same file, which cannot happen: each file is changed once).
bool pick_digit(const char* folder, JournalEntry* e, bool backup) {
  char target[WORK_PATH_ROOM], staged[WORK_PATH_ROOM], spare[WORK_PATH_ROOM];
  for (uint8_t d = 0; d < SIDE_NAME_DIGITS; ++d) {
    (backup ? e->backupDigit : e->stagedDigit) = d;
    if (!JournalPaths(folder, *e, target, staged, spare)) return false;
    if (name_free(backup ? spare : staged)) return true;
  }
  return false;
}

// Looks at the file to be replaced: whether it is there, its attributes, and that no running
// program holds it. 0, HOST_IN_USE, or -1.
int look_at_target(const char* folder, JournalEntry* e) {
  char target[WORK_PATH_ROOM];
  if (BuildGamePath(target, sizeof target, folder, GAME_FILES[e->file]) != 0) return -1;
  uint32_t attributes = 0;
  const int found = host_lookup(target, &attributes);
  if (found == HOST_ABSENT) return 0;
  if (found != HOST_FOUND || (attributes & HOST_ATTR_DIRECTORY) != 0) return -1;
  e->hadOld = true;
  e->oldAttributes = attributes;
  const int busy = host_busy(target);
  if (busy == 1) log_holder("FAILED: a running program holds the game file", target);
  if (busy < 0) UpdateLogFailure("telling whether a program holds the game file", target);
  return busy == 0 ? 0 : busy == 1 ? HOST_IN_USE : -1;
}

// The backup as a copy of the old file, for folders that take no second names.
bool copy_file(const char* from, const char* to) {
  const HostHandle in = host_open(from, HOST_MODE_READ);
  if (in == HOST_INVALID_HANDLE) return false;
  const HostHandle out = host_create(to, HOST_CREATE_NEW);
  if (out == HOST_INVALID_HANDLE) {
    host_close(in);
    return false;
  }
  auto* buffer = static_cast<uint8_t*>(mem_alloc(kCopyChunk));
  bool ok = buffer != nullptr;
  for (int32_t n; ok && (n = host_read(in, buffer, kCopyChunk)) > 0;) {
    ok = host_write(out, buffer, n) == n;
  }
  ok = ok && host_size(in) == host_size(out) && host_flush(out) == 0;
  mem_free(buffer);
  host_close(in);
  ok = host_close(out) == 0 && ok;
  if (!ok) host_delete(to);
  return ok;
}

// The old file's second name: a hard link, or where that is refused, a copy.
bool take_backup(const EntryPaths& p) {
  if (host_link(p.target, p.backup) == 0) {
    UpdateLogStep("backup (second name)", p.backup);
    return true;
  }
  if (copy_file(p.target, p.backup)) {
    UpdateLogStep("backup (copy: the folder takes no second names)", p.backup);
    return true;
  }
  UpdateLogFailure("backup", p.backup);
  return false;
}

void close_staged(FolderChange* c) {
  for (HostHandle& h : c->staged) {
    if (h != HOST_INVALID_HANDLE) host_close(h);
    h = HOST_INVALID_HANDLE;
  }
}

void close_journal(FolderChange* c) {
  if (c->journalFile != HOST_INVALID_HANDLE) host_close(c->journalFile);
  c->journalFile = HOST_INVALID_HANDLE;
}

// Undoes the change from the journal in memory; the journal goes once every file is back.
int roll_back(FolderChange* c) {
  close_staged(c);
  close_journal(c);
  if (JournalRollBack(c->folder, c->journal) != 0) {
    UpdateLogFailure("putting the old files back (the journal stays for the next run)", c->folder);
    return -1;
  }
  UpdateLogStep("the old files are back", c->folder);
  return JournalRemove(c->folder);
}

// Each new copy whole on disk, its content recorded (as counted when it was written, if the
// file holds that many bytes, else read back); its handle stays open.
bool record_new_content(FolderChange* c) {
  for (int i = 0; i < c->journal.count; ++i) {
    const HostHandle h = c->staged[i];
    ContentId& content = c->journal.entries[i].newContent;
    if (host_flush(h) != 0) return false;
    const int32_t size = host_size(h);
    if (c->counted[i] && size >= 0 && uint32_t(size) == c->written[i].size) {
      content = c->written[i];
    } else if (!ContentIdOfHandle(h, &content)) {
      return false;
    }
  }
  return true;
}

// Each new copy takes its old file's permission bits (the old file made writable for its swap,
// as the new one is to be) through its own handle, which then closes.
bool close_copies(FolderChange* c) {
  for (int i = 0; i < c->journal.count; ++i) {
    EntryPaths p{};
    const HostHandle h = c->staged[i];
    if (!paths_of(*c, i, &p)) return false;
    if (c->journal.entries[i].hadOld && host_carry_permissions(h, p.target) != 0) return false;
    c->staged[i] = HOST_INVALID_HANDLE;
    if (host_close(h) != 0) return false;
    // The access entries set on the old file itself (an installer's grant that lets the game
    // write it) go with the new copy; the inherited ones it inherits from the same folder.
    if (c->journal.entries[i].hadOld && host_copy_access(p.target, p.staged) != 0) {
      UpdateLogFailure("giving the new copy the old file's access entries", p.staged);
      return false;
    }
  }
  return true;
}

// The renames on the disk, not only in the system's cache, before the backups may go: a rename
// can return before the folder's change is written. A volume that cannot be flushed (a network
// share) is noted; its server keeps its own order.
void flush_volume(const FolderChange& c) {
  if (host_flush_volume(FolderOrCurrent(c.folder)) != 0) {
    UpdateLogStep("note: the volume could not be flushed (a network share?)", c.folder);
  }
}

// The old content of every file, as the way back will check it.
bool record_old_content(FolderChange* c) {
  for (int i = 0; i < c->journal.count; ++i) {
    JournalEntry& e = c->journal.entries[i];
    EntryPaths p{};
    if (!e.hadOld) continue;
    if (!paths_of(*c, i, &p) || ContentIdOfFile(p.target, &e.oldContent) != 1) return false;
  }
  return true;
}

// Backups of every old file, each writable for its swap.
bool take_backups(FolderChange* c) {
  for (int i = 0; i < c->journal.count; ++i) {
    const JournalEntry& e = c->journal.entries[i];
    EntryPaths p{};
    if (!e.hadOld) continue;
    if (!paths_of(*c, i, &p) || !take_backup(p)) return false;
    if ((e.oldAttributes & HOST_ATTR_READONLY) != 0 &&
        host_set_attributes(p.target, HOST_ATTR_NORMAL) != 0)
      return false;
  }
  return true;
}

bool swap_all(FolderChange* c) {
  for (int i = 0; i < c->journal.count; ++i) {
    EntryPaths p{};
    if (!paths_of(*c, i, &p)) return false;
    // The host waits on a file held for a moment (a scanner, the indexer) before it gives up.
    const int replaced = host_replace(p.staged, p.target);
    if (replaced != 0) {
      if (replaced == HOST_IN_USE) {
        runFailure = RunFailure::GameInUse;
        log_holder("FAILED swap: another program holds the file", p.target);
      } else {
        UpdateLogFailure("swap", p.target);
      }
      return false;
    }
    UpdateLogStep("swap: the new copy in place", p.target);
  }
  return true;
}

// Removes the backups and then the journal; what will not go stays named by the journal.
void clear_after_commit(FolderChange* c) {
  close_journal(c);
  if (JournalRollForward(c->folder, c->journal) == 0) JournalRemove(c->folder);
}

}  // namespace

int FolderChangeBegin(FolderChange* change, const char* folder, const uint8_t* files, int count) {
  FolderChange& c = *change;
  c = FolderChange{};
  c.journalFile = HOST_INVALID_HANDLE;
  for (HostHandle& h : c.staged) h = HOST_INVALID_HANDLE;
  const size_t length = strnlen(folder, sizeof c.folder);
  if (count < 1 || count > JOURNAL_MAX_FILES || length == sizeof c.folder) return -1;
  memcpy(c.folder, folder, length + 1);

  c.journal.state = JOURNAL_STAGING;
  c.journal.count = uint8_t(count);
  for (int i = 0; i < count; ++i) {
    JournalEntry& e = c.journal.entries[i];
    e.file = files[i];
    if (e.file >= JOURNAL_MAX_FILES) return -1;
    const int looked = look_at_target(c.folder, &e);
    if (looked != 0) return looked;
    if (!pick_digit(c.folder, &e, false) || !pick_digit(c.folder, &e, true)) return -1;
  }
  c.journalFile = JournalCreate(c.folder, c.journal);
  if (c.journalFile == HOST_INVALID_HANDLE) {
    UpdateLogFailure("writing the journal", c.folder);
    return -1;
  }
  UpdateLogStep("journal written", c.folder);
  for (int i = 0; i < count; ++i) {
    EntryPaths p{};
    if (paths_of(c, i, &p)) c.staged[i] = host_create(p.staged, HOST_CREATE_NEW);
    if (c.staged[i] == HOST_INVALID_HANDLE) {
      UpdateLogFailure("making the new copy", p.staged);
      FolderChangeAbandon(change);
      return -1;
    }
    UpdateLogStep("staging", p.staged);
  }
  // Every name the run makes is on disk before anything is written into them.
  if (host_sync_folder(FolderOrCurrent(c.folder)) != 0) {
    FolderChangeAbandon(change);
    return -1;
  }
  return 0;
}

void FolderChangeWritten(FolderChange* change, int i, const ContentId& content) {
  if (i < 0 || i >= change->journal.count) return;
  change->written[i] = content;
  change->counted[i] = true;
}

HostHandle FolderChangeStaged(const FolderChange* change, int i) {
  return i >= 0 && i < change->journal.count ? change->staged[i] : HOST_INVALID_HANDLE;
}

int FolderChangeCommit(FolderChange* change) {
  FolderChange& c = *change;
  if (!record_new_content(&c) || !record_old_content(&c)) {
    UpdateLogFailure("reading the new copies and old files back", c.folder);
    FolderChangeAbandon(change);
    return -1;
  }
  c.journal.state = JOURNAL_SWAPPING;
  if (JournalRewrite(c.journalFile, c.journal) != 0) {
    // Whether the new state reached the disk is unknown: the way back serves either.
    roll_back(&c);
    return -1;
  }
  if (!take_backups(&c) || !close_copies(&c) || !swap_all(&c)) {
    roll_back(&c);
    return -1;
  }
  flush_volume(c);
  c.journal.state = JOURNAL_COMMITTED;
  if (JournalRewrite(c.journalFile, c.journal) != 0) {
    // Every new copy is in place. The journal on disk says committed or not: the way back is
    // taken only once it surely says not; otherwise the next run finishes what it says.
    c.journal.state = JOURNAL_SWAPPING;
    if (JournalRewrite(c.journalFile, c.journal) == 0) {
      roll_back(&c);
    } else {
      close_journal(&c);
    }
    return -1;
  }
  UpdateLogStep("committed: every new file is in place", c.folder);
  clear_after_commit(&c);
  return 0;
}

void FolderChangeAbandon(FolderChange* change) {
  change->journal.state = JOURNAL_STAGING;
  roll_back(change);
}
