// The game folder tests of the confirmation dialog (does a folder hold the game executable,
// and leave room for the names the update makes in it; can a file be opened) and the building
// of paths into the game folder.
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/interrupted_run.h"
#include "app/update_journal.h"
#include "app/updater.h"
#include "host/host.h"
#include "host/path.h"

int BuildGamePath(char* out, size_t room, const char* folder, const char* name) {
  if (out == nullptr || room == 0) return -1;
  out[0] = '\0';
  if (folder == nullptr || name == nullptr) return -1;
  const size_t folderLength = strnlen(folder, room);
  if (folderLength == room) return -1;
  memcpy(out, folder, folderLength + 1);
  const size_t nameLength = strlen(name);
  if (path_add_slash(out, room) != 0) {
    out[0] = '\0';
    return -1;
  }
  const size_t at = strlen(out);
  if (at + nameLength + 1 > room) {
    out[0] = '\0';
    return -1;
  }
  memcpy(out + at, name, nameLength + 1);
  return 0;
}

int FileExists(const char* path) {
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return 0;
  host_close(file);
  return 1;
}

size_t GameFolderLongestName(char* name, size_t room) {
  // The side names of the game files (a new copy or a backup, with the last digit), the journal
  // and the folder lock: whichever is longest.
  if (name == nullptr || room == 0) return 0;
  name[0] = '\0';
  size_t longest = 0;
  char candidate[HOST_PATH_ROOM];
  const auto consider = [&](int n) {
    if (n <= 0 || size_t(n) >= sizeof candidate || size_t(n) <= longest) return;
    longest = size_t(n);
    if (longest < room) memcpy(name, candidate, longest + 1);
  };
  for (const char* file : GAME_FILES) {
    consider(snprintf(candidate, sizeof candidate, "%s.~%s%d", file, STAGED_MARK,
                      SIDE_NAME_DIGITS - 1));
  }
  consider(snprintf(candidate, sizeof candidate, "%s", JOURNAL_NAME));
  consider(snprintf(candidate, sizeof candidate, "%s", FOLDER_LOCK_FILE_NAME));
  return longest < room ? longest : 0;
}

int GameExeExists(const char* folder) {
  // A folder is taken for the game's only when every path the update makes in it fits in
  // HOST_PATH_ROOM: one too long for them is refused here, so the user is asked for another
  // folder instead of seeing the update fail.
  char path[HOST_PATH_ROOM];
  char longest[HOST_PATH_ROOM];
  if (GameFolderLongestName(longest, sizeof longest) == 0 ||
      BuildGamePath(path, sizeof path, folder, longest) != 0 ||
      BuildGamePath(path, sizeof path, folder, GAME_EXE_NAME) != 0) {
    return 0;
  }
  return FileExists(path);
}
