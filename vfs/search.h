// Directory search: one find-first / find-next pair over disk files and archive members, and a
// variant that returns each hit as a full path. One search at a time, process-wide.
#pragma once

#include <cstdint>

// Name and path buffers hold at least this many bytes.
constexpr int VFS_NAME_ROOM = 260;

int vfs_find_first(const char* pattern, uint32_t mask, char* name);
int vfs_find_next(char* name);
int vfs_find_first_path(const char* pattern, uint32_t mask, char* path);
int vfs_find_next_path(char* path);
