// Internals shared by the Win32 host backend files: the path check every path-taking call
// makes, and the moves and directory listing behind g_hostDefaultOps.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace host_win32 {

// True for a non-empty path zero-terminated within HOST_PATH_ROOM bytes.
bool path_fits(const char* path);

// A failed call's result by the thread's last error: HOST_IN_USE for a hold that may pass
// (sharing or lock violation, access denied, a mapped section in the way), else -1.
int failure();
// True when the file's attributes say that the system will refuse to change it whoever holds
// it: read-only, or a folder.
bool unchangeable(const char* path);

// MoveFileA(oldPath, newPath), also when the two differ only in case: 0 or -1.
int move(const char* oldPath, const char* newPath);

// Replacing, cutting and syncing files: 0 or -1.
int replace(const char* from, const char* to);
int truncate(const char* path, int32_t length);
int sync(const char* path);
int carry_permissions(HostHandle handle, const char* like);
int sync_folder(const char* path);

// Change locks (host_lock_win32.cpp): a handle, HOST_IN_USE or -1; unlock 0 or -1.
HostHandle lock(const char* path);
int unlock(const char* path, HostHandle lock);
// Looking a path up, a second name (hard link), and the running-program test.
int lookup(const char* path, uint32_t* attributes);
int link(const char* existing, const char* newPath);
int busy(const char* path);

// The clock of the waits on a held file, the volume flush and the copy of access entries.
uint32_t ticks();
void pause(uint32_t milliseconds);
int flush_volume(const char* path);
int copy_access(const char* from, const char* to);

// Directory listing: a search id or -1; next returns 0 or -1.
intptr_t find_first(const char* pattern, HostFindData* out);
int find_next(intptr_t search, HostFindData* out);
void find_close(intptr_t search);

}  // namespace host_win32
