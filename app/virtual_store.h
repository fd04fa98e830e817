// The game's files as a program without a manifest sees them: run unelevated, such a program
// (the game, an old installer) has its writes into protected folders (the Windows folder,
// Program Files) redirected into the player's VirtualStore, and from then on reads the copies
// there instead of the files themselves. The updater, elevated and manifested, sees only the
// real files.
#pragma once

#include <cstddef>

#include "app/app_state.h"

// The player's VirtualStore copy of path ("X:\rest" becomes "<VirtualStore>\rest"), into out:
// 0, or -1 when there is no VirtualStore, path has no drive letter or the copy's path does not
// fit in room bytes. Whether the copy exists is not looked at.
int VirtualStorePath(const char* path, char* out, size_t room);

// The game files the update replaces (executable, pack, install record) of which the player's
// VirtualStore holds a copy for folder: the game reads those copies, so the update would not
// reach it.
struct VirtualStoreCopies {
  int count;
  char paths[3][WORK_PATH_ROOM];
};

// Fills found with the copies there are; a copy that could not be looked at counts as one.
// Returns their number (0: the game reads the real files).
int FindVirtualStoreCopies(const char* folder, VirtualStoreCopies* found);
