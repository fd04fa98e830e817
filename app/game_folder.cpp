// The game folder tests of the confirmation dialog (does a folder hold the game executable,
// can a file be opened) and the building of paths into the game folder.
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
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

int GameExeExists(const char* folder) {
  // A folder too long for the path is no game folder: the user is asked for another.
  char path[HOST_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, GAME_EXE_NAME) != 0) return 0;
  return FileExists(path);
}
