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

// Returns fd itself when it lies outside first..end-1; otherwise a copy at end or above (the
// open file description, and so its lock, is kept) with fd closed, or -1 when no copy is made.
int move_out_of_range(int fd, int first, int end);

// True when a handle of this library (in any process) holds the file at a POSIX path open.
bool in_use(const char* path);

// Looking a path up, linking a second name, and the running-program test behind
// g_hostDefaultOps.lookup / link / busy.
int lookup(const char* path, uint32_t* attributes);
int link(const char* existing, const char* newPath);
int busy(const char* path);

// Replacing, cutting and syncing files behind g_hostDefaultOps.replace / truncate / sync.
int replace(const char* from, const char* to);
int truncate(const char* path, int32_t length);
int sync(const char* path);

// Directory enumeration behind g_hostDefaultOps.find_first / find_next / find_close.
intptr_t find_first(const char* pattern, HostFindData* out);
int find_next(intptr_t search, HostFindData* out);
void find_close(intptr_t search);

}  // namespace host_posix
