// Internals shared by the POSIX host backend files: mapping 8-bit Windows-style paths onto the
// POSIX name space, file attributes from stat data, and the directory enumeration calls.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace host_posix {

// Room for a mapped path: the Wine prefix may make it longer than the host path.
constexpr size_t POSIX_PATH_ROOM = 4096;

struct PosixPath {
  char text[POSIX_PATH_ROOM];
};

// Maps a host path (1 to HOST_PATH_ROOM - 1 bytes) onto a POSIX path: "X:\rest" goes to
// "$WINEPREFIX/dosdevices/x:/rest" (WINEPREFIX defaults to "$HOME/.wine"), '\' becomes '/',
// and a path starting with '/' stays absolute. Where the exact name does not exist, each
// component resolves to an existing name that differs only in ASCII case; with resolveLast
// false the last component is left as written. Returns false for paths that do not fit.
bool to_posix_path(const char* path, PosixPath& out, bool resolveLast = true);

// True when a and b (b of bLength bytes) are equal with ASCII letters folded.
bool same_name_ignoring_case(const char* a, const char* b, size_t bLength);

// The Win32-style attributes of a stat result: 0x10 for a directory; 0x20 for anything else,
// plus 0x01 when the owner may not write it.
uint32_t attributes_of(const struct stat& st);

// Takes a whole-file lock of the given type (F_RDLCK, F_WRLCK) on fd's open file description
// without waiting. False only when another handle's lock is in the way: on a file system
// without such locks the file counts as unshared rather than unusable.
bool lock_file(int fd, short type);

// True when some other open file description (in any process) holds a lock that conflicts
// with a lock of the given type on fd's file (false when the file system cannot tell).
bool held_by_others(int fd, short type);

// Returns fd itself when it lies outside first..end-1; otherwise a copy at end or above (the
// open file description, and so its lock, is kept) with fd closed, or -1 when no copy is made.
int move_out_of_range(int fd, int first, int end);

// Replacing, cutting and syncing files behind g_hostDefaultOps.replace / truncate / sync.
int replace(const char* from, const char* to);
int truncate(const char* path, int32_t length);
int sync(const char* path);

// Change locks behind g_hostDefaultOps.lock / unlock (host_lock_posix.cpp).
HostHandle lock(const char* path);
int unlock(const char* path, HostHandle lock);

// Directory enumeration behind g_hostDefaultOps.find_first / find_next / find_close.
intptr_t find_first(const char* pattern, HostFindData* out);
int find_next(intptr_t search, HostFindData* out);
void find_close(intptr_t search);

}  // namespace host_posix
