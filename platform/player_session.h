// The machine as the player sees it: the user whose desktop shell runs. The updater runs
// elevated, perhaps as another (administrator) account, and then neither sees the player's
// VirtualStore as its own nor the drive letters the player mapped to network shares.
#pragma once

#include <cstddef>

// The player's VirtualStore folder (the player's "AppData\Local\VirtualStore"): where the system
// keeps what a program without a manifest, run unelevated by the player, wrote into a
// protected folder such as the Windows folder or Program Files, and where that program then
// reads it from. Its length in buffer, or 0 when there is none or it does not fit in room.
size_t PlayerVirtualStore(char* buffer, size_t room);

// The network path ("\\server\share") that drive letter stands for in the player's registry
// (Network\<letter>\RemotePath of the player's own hive), when this process has no drive of that
// letter; its length in buffer, or 0 (a drive of this process, no such mapping, no room).
size_t PlayerDriveShare(char letter, char* buffer, size_t room);
