// The player's machine on Linux: Wine runs the updater as the player, in the player's own
// session. It redirects no write into a VirtualStore, and the player's drive letters are this
// process's own (the Wine prefix's dosdevices): there is nothing to look up.
#include "platform/player_session.h"

size_t PlayerVirtualStore(char* buffer, size_t room) {
  if (buffer != nullptr && room != 0) buffer[0] = '\0';
  return 0;
}

size_t PlayerDriveShare(char, char* buffer, size_t room) {
  if (buffer != nullptr && room != 0) buffer[0] = '\0';
  return 0;
}
