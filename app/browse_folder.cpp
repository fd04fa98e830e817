// The folder browser of the game-folder choice: the platform's browse-for-folder dialog,
// admitting file-system folders only.
#include "app/updater.h"

int BrowseForFolder(HWND owner, char* path, size_t room, const char* prompt) {
  return UiBrowseForFolder(owner, prompt, path, room);
}
