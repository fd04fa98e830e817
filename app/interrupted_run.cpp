// Recovery of an interrupted update: the leftovers are found by one search of the game folder
// for "*.~*", recognised by name, and undone. Replacement is atomic and the update pack goes
// last, so the files in place always form a game that starts: a crash before the pack's swap
// leaves the old pack, which the next run updates again; one after it leaves only backups.
#include "app/interrupted_run.h"

#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/staged_file.h"
#include "host/host.h"

namespace {

constexpr const char* GAME_FILES[] = {GAME_EXE_NAME, GAME_PACK_NAME, INSTALL_RECORD_NAME};
constexpr int GAME_FILE_COUNT = 3;
// Each game file has at most ten new copies and ten backups.
constexpr int MAX_LEFTOVERS = GAME_FILE_COUNT * 2 * STAGED_NAME_DIGITS;

struct Leftover {
  int gameFile;  // index into GAME_FILES
  bool backup;
  char name[HOST_PATH_ROOM];
};

char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool same_folded(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// Recognises "<game file>.~new<digit>" and "<game file>.~old<digit>" in any letter case.
bool recognise(const char* name, Leftover* out) {
  const size_t length = strlen(name);
  for (int g = 0; g < GAME_FILE_COUNT; ++g) {
    const size_t base = strlen(GAME_FILES[g]);
    if (length != base + 6 || !same_folded(name, GAME_FILES[g], base)) continue;
    const char* tail = name + base;
    if (tail[0] != '.' || tail[1] != '~' || tail[5] < '0' || tail[5] > '9') return false;
    if (same_folded(tail + 2, STAGED_MARK, 3)) {
      out->backup = false;
    } else if (same_folded(tail + 2, BACKUP_MARK, 3)) {
      out->backup = true;
    } else {
      return false;
    }
    out->gameFile = g;
    memcpy(out->name, name, length + 1);
    return true;
  }
  return false;
}

// The leftovers in the folder, at most MAX_LEFTOVERS of them.
int find_leftovers(const char* folder, Leftover* found) {
  char pattern[WORK_PATH_ROOM];
  if (BuildGamePath(pattern, sizeof pattern, folder, "*.~*") != 0) return 0;
  int count = 0;
  char name[HOST_PATH_ROOM];
  for (int more = host_find_first(pattern, HOST_ATTR_NORMAL, name); more == 0 && count < MAX_LEFTOVERS;
       more = host_find_next(name)) {
    if (recognise(name, &found[count])) ++count;
  }
  host_find_first(nullptr, 0, nullptr);  // ends the search
  return count;
}

}  // namespace

int RecoverInterruptedUpdate(const char* folder) {
  Leftover found[MAX_LEFTOVERS];
  const int count = find_leftovers(folder, found);
  int result = 0;
  char leftover[WORK_PATH_ROOM], target[WORK_PATH_ROOM];
  for (int i = 0; i < count; ++i) {
    if (BuildGamePath(leftover, sizeof leftover, folder, found[i].name) != 0) return -1;
    if (found[i].backup) {
      if (BuildGamePath(target, sizeof target, folder, GAME_FILES[found[i].gameFile]) != 0) return -1;
      uint32_t attributes = 0;
      const int there = host_lookup(target, &attributes);
      if (there == HOST_ABSENT) {
        // The game file went missing under the interrupted run: its backup takes its place.
        if (host_move(leftover, target) != 0) result = -1;
        continue;
      }
      if (there != HOST_FOUND) {
        result = -1;
        continue;
      }
    }
    if (host_force_delete(leftover) != 0) result = -1;
  }
  return result;
}
