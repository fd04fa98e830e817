// Delete and rename for disk files and archive members alike. In an archive only the
// in-memory directory entry changes; the archive is marked dirty and written back at close.
#pragma once

#include <cstddef>

// Room of rename_with_extension's target path, terminator included. Longer paths are refused.
constexpr size_t VFS_RENAME_TARGET_ROOM = 128;

int vfs_delete(const char* path);
// Disk: newName is a full path (host move). Archive: newName is a bare member name joined to
// the old name's directory part.
int vfs_rename(const char* oldPath, const char* newName);

// Renames a file or member to the same path with its extension replaced, deleting any file or
// member of that name first. -1 when the target does not fit VFS_RENAME_TARGET_ROOM bytes or
// is the path itself.
int rename_with_extension(const char* path, const char* extension);
