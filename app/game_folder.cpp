// The game folder tests of the confirmation dialog (does a folder hold the game executable,
// and leave room for the names the update makes in it; can a file be opened) and the building
// of paths into the game folder.
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/staged_file.h"
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
  // A new copy or a backup of the install record, the longest game file, with the last digit.
  const int n = snprintf(name, room, "%s.~%s%d", INSTALL_RECORD_NAME, STAGED_MARK,
                         STAGED_NAME_DIGITS - 1);
  return n > 0 && size_t(n) < room ? size_t(n) : 0;
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
