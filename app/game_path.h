// Paths into the game folder: the folder, a backslash unless it is empty or already ends in
// one, then the file name; built only when the whole path fits. And the longest name the update
// makes there, for which every game folder must leave room.
#pragma once

#include <cstddef>

// 0, or -1 with out emptied when the path does not fit in room bytes.
int BuildGamePath(char* out, size_t room, const char* folder, const char* name);

// The folder itself, or "." for the empty folder (the current one), for calls on the folder.
inline const char* FolderOrCurrent(const char* folder) { return folder[0] != '\0' ? folder : "."; }

// The longest name the update makes in the game folder (a new copy of the install record),
// into name; its length, or 0 when it does not fit in room bytes. A folder must leave room for
// it beside its own path (GameExeExists).
size_t GameFolderLongestName(char* name, size_t room);
