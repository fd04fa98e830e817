// Delete and rename for disk files and archive members alike. In an archive only the
// in-memory directory entry changes; the archive is marked dirty and written back at close.
#pragma once

int vfs_delete(const char* path);
// Disk: newName is a full path (host move). Archive: newName is a bare member name joined to
// the old name's directory part.
int vfs_rename(const char* oldPath, const char* newName);
