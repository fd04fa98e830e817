// Staged replacement of game files: reserving the new copy's name, keeping the old file under a
// backup name, the atomic swaps in order with the way back, and the final removal of backups.
#include "app/staged_file.h"

#include <cstdio>
#include <cstring>

#include "host/host.h"

namespace {

// The name beside target with the given mark and digit; false when it does not fit.
bool side_name(char* out, const char* target, const char* mark, int digit) {
  const int n = snprintf(out, WORK_PATH_ROOM, "%s.~%s%d", target, mark, digit);
  return n > 0 && size_t(n) < WORK_PATH_ROOM;
}

// Readies one file: its old attributes, writable, not held by a running program, and its
// backup name linked to it. False with the file as it was.
bool prepare(StagedFile* f) {
  uint32_t attributes = 0;
  const int found = host_lookup(f->target, &attributes);
  if (found == HOST_ABSENT) return true;
  if (found != HOST_FOUND || (attributes & HOST_ATTR_DIRECTORY) != 0) return false;
  f->hadOld = true;
  f->oldAttributes = attributes;
  const bool readOnly = (attributes & HOST_ATTR_READONLY) != 0;
  if (readOnly && host_set_attributes(f->target, HOST_ATTR_NORMAL) != 0) return false;
  if (host_busy(f->target) == 0) {
    for (int i = 0; i < STAGED_NAME_DIGITS; ++i) {
      if (side_name(f->backup, f->target, BACKUP_MARK, i) && host_link(f->target, f->backup) == 0) {
        return true;
      }
    }
  }
  f->backup[0] = '\0';
  if (readOnly) host_set_attributes(f->target, attributes);
  return false;
}

// Takes back what prepare did to a file that was not swapped.
void unprepare(StagedFile* f) {
  if (!f->hadOld || f->backup[0] == '\0') return;
  host_force_delete(f->backup);  // the old file keeps its own name
  f->backup[0] = '\0';
  if ((f->oldAttributes & HOST_ATTR_READONLY) != 0) host_set_attributes(f->target, f->oldAttributes);
}

// Puts the old file back over a swapped-in copy, in one step, with its attributes. When that
// fails the file stays Swapped: the new copy stands and the backup is kept.
void swap_back(StagedFile* f) {
  if (!f->hadOld) {
    if (host_force_delete(f->target) != 0) return;
  } else {
    if (host_replace(f->backup, f->target) != 0) return;
    f->backup[0] = '\0';
    host_set_attributes(f->target, f->oldAttributes);
  }
  f->state = StageState::Empty;
}

bool remove_backup(StagedFile* f) {
  if (f->backup[0] == '\0' || host_force_delete(f->backup) == 0) {
    f->backup[0] = '\0';
    return true;
  }
  return false;
}

}  // namespace

int StagedFileBegin(StagedFile* file, const char* target) {
  *file = StagedFile{};
  const size_t length = strnlen(target, WORK_PATH_ROOM);
  if (length == WORK_PATH_ROOM) return -1;
  memcpy(file->target, target, length + 1);
  for (int i = 0; i < STAGED_NAME_DIGITS; ++i) {
    if (!side_name(file->staged, target, STAGED_MARK, i)) break;
    const HostHandle made = host_create(file->staged, HOST_CREATE_NEW);
    if (made == HOST_INVALID_HANDLE) continue;
    if (host_close(made) != 0) {
      host_delete(file->staged);
      break;
    }
    file->state = StageState::Staged;
    return 0;
  }
  file->staged[0] = '\0';
  return -1;
}

void StagedFileDiscard(StagedFile* file) {
  // Tried twice: a new copy that stays would be left in the game folder for good.
  if (file->state == StageState::Staged && host_delete(file->staged) != 0) {
    host_delete(file->staged);
  }
  file->state = StageState::Empty;
}

int StagedCommit(StagedFile* const* files, int count) {
  int prepared = 0;
  while (prepared < count && prepare(files[prepared])) ++prepared;
  int swapped = 0;
  if (prepared == count) {
    while (swapped < count && host_replace(files[swapped]->staged, files[swapped]->target) == 0) {
      files[swapped++]->state = StageState::Swapped;
    }
  }
  if (swapped < count) {
    // The last file was not replaced: every earlier one goes back, latest first.
    for (int i = swapped - 1; i >= 0; --i) swap_back(files[i]);
    for (int i = 0; i < count; ++i) {
      if (files[i]->state == StageState::Swapped) continue;
      unprepare(files[i]);
      StagedFileDiscard(files[i]);
    }
    return -1;
  }
  for (int i = 0; i < count; ++i) {
    if (!remove_backup(files[i])) remove_backup(files[i]);  // one more try
    files[i]->state = StageState::Done;
  }
  return 0;
}
