// The player's VirtualStore copies: the path of a file's copy there, and the game files of a
// folder that have one.
#include "app/virtual_store.h"

#include <cstdio>
#include <cstring>

#include "app/game_path.h"
#include "host/host.h"
#include "platform/player_session.h"

int VirtualStorePath(const char* path, char* out, size_t room) {
  if (out == nullptr || room == 0) return -1;
  out[0] = '\0';
  const bool letter = path != nullptr && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
                      path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  if (!letter) return -1;
  char store[HOST_PATH_ROOM];
  if (PlayerVirtualStore(store, sizeof store) == 0) return -1;
  // The copy keeps the path below the drive's root: "C:\Program Files\Velmor\Update.PAK" has
  // its copy at "<VirtualStore>\Program Files\Velmor\Update.PAK".
  return BuildGamePath(out, room, store, path + 3);
}

int FindVirtualStoreCopies(const char* folder, VirtualStoreCopies* found) {
  *found = VirtualStoreCopies{};
  static const char* const kReplaced[] = {GAME_EXE_NAME, GAME_PACK_NAME, INSTALL_RECORD_NAME};
  for (const char* name : kReplaced) {
    char path[WORK_PATH_ROOM];
    char copy[WORK_PATH_ROOM];
    if (BuildGamePath(path, sizeof path, folder, name) != 0 ||
        VirtualStorePath(path, copy, sizeof copy) != 0) {
      continue;
    }
    // Only a file, or what could not be told apart from one, is a copy the game reads.
    uint32_t attributes = 0;
    const int looked = host_lookup(copy, &attributes);
    if (looked == HOST_ABSENT || (looked == HOST_FOUND && (attributes & HOST_ATTR_DIRECTORY) != 0))
      continue;
    memcpy(found->paths[found->count++], copy, sizeof copy);
  }
  return found->count;
}
