// Staged replacement of game files: names for the new copies and backups, swapping a new
// copy in with the old file kept aside, undoing swaps, and the final removal of the backups.
#include "app/staged_file.h"

#include <cstdio>
#include <cstring>

#include "host/host.h"

namespace {

constexpr int NAME_TRIES = 10;

bool exists(const char* path) { return host_get_attributes(path) != HOST_NO_SUCH_FILE; }

// A name beside target with the given mark and a digit that no file has yet.
bool free_name(char* out, const char* target, const char* mark) {
  for (int i = 0; i < NAME_TRIES; ++i) {
    const int n = snprintf(out, WORK_PATH_ROOM, "%s.~%s%d", target, mark, i);
    if (n <= 0 || size_t(n) >= WORK_PATH_ROOM) break;
    if (!exists(out)) return true;
  }
  out[0] = '\0';
  return false;
}

// Moves the new copy in; the old file, attributes set to normal first, waits at the backup
// name. On failure the old file is back as it was.
int swap_in(StagedFile* f) {
  f->oldAttributes = host_get_attributes(f->target);
  if (f->oldAttributes != HOST_NO_SUCH_FILE) {
    host_set_attributes(f->target, HOST_ATTR_NORMAL);
    if (host_move(f->target, f->backup) != 0) {
      host_set_attributes(f->target, f->oldAttributes);
      return -1;
    }
  }
  if (host_move(f->staged, f->target) != 0) {
    if (f->oldAttributes != HOST_NO_SUCH_FILE && host_move(f->backup, f->target) == 0) {
      host_set_attributes(f->target, f->oldAttributes);
    }
    return -1;
  }
  f->state = StageState::Swapped;
  return 0;
}

// Takes a swapped-in copy out again and puts the old file back with its attributes.
void swap_back(StagedFile* f) {
  if (host_force_delete(f->target) != 0) {
    // The new copy will not go: at least keep it from the old file's way under its own name.
    if (host_move(f->target, f->staged) != 0) return;
  }
  if (f->oldAttributes != HOST_NO_SUCH_FILE && host_move(f->backup, f->target) == 0) {
    host_set_attributes(f->target, f->oldAttributes);
  }
  f->state = StageState::Staged;
}

bool remove_backup(StagedFile* f) {
  if (f->oldAttributes == HOST_NO_SUCH_FILE) return true;
  return host_force_delete(f->backup) == 0;
}

}  // namespace

int StagedFileBegin(StagedFile* file, const char* target) {
  *file = StagedFile{};
  file->oldAttributes = HOST_NO_SUCH_FILE;
  const size_t length = strnlen(target, WORK_PATH_ROOM);
  if (length == WORK_PATH_ROOM) return -1;
  memcpy(file->target, target, length + 1);
  if (!free_name(file->staged, target, "new") || !free_name(file->backup, target, "old")) {
    return -1;
  }
  file->state = StageState::Staged;
  return 0;
}

void StagedFileDiscard(StagedFile* file) {
  // Tried twice: a new copy that stays would be left in the game folder for good.
  if (file->state == StageState::Staged && host_delete(file->staged) != 0) {
    host_delete(file->staged);
  }
  file->state = StageState::Empty;
}

int StagedCommit(StagedFile* const* files, int count) {
  int swapped = 0;
  while (swapped < count && swap_in(files[swapped]) == 0) ++swapped;
  // The first backup to go is the last step that can still fail with everything put back.
  int first = 0;
  while (first < swapped && files[first]->oldAttributes == HOST_NO_SUCH_FILE) ++first;
  if (swapped < count || (first < count && !remove_backup(files[first]))) {
    for (int i = swapped - 1; i >= 0; --i) swap_back(files[i]);
    for (int i = 0; i < count; ++i) StagedFileDiscard(files[i]);
    return -1;
  }
  for (int i = first + 1; i < count; ++i) {
    if (!remove_backup(files[i])) remove_backup(files[i]);  // one more try
  }
  for (int i = 0; i < count; ++i) files[i]->state = StageState::Done;
  return 0;
}
