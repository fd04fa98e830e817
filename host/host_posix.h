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
  // The last name was looked up in its folder's index, which was current at that moment: a
  // change made right after needs no second look at the folder (FolderChange).
  bool folderIndexed = false;
};

// Room for a host path as UTF-8: a character of one or two bytes in a code page takes at most
// three in UTF-8.
constexpr size_t DISK_PATH_ROOM = 3 * HOST_PATH_ROOM;

// Maps a host path (1 to HOST_PATH_ROOM - 1 bytes in the code page) onto a POSIX path: its text
// converted to UTF-8, the names on disk (false when it cannot be); then "X:\rest" goes to
// "$WINEPREFIX/dosdevices/x:/rest" (WINEPREFIX defaults to "$HOME/.wine"), '\' becomes '/',
// and a path starting with '/' stays absolute. Where the exact name does not exist, each
// component resolves to an existing name that differs only in ASCII case; with resolveLast
// false the last component is left as written. Returns false for paths that do not fit.
bool to_posix_path(const char* path, PosixPath& out, bool resolveLast = true);
// The same for a path already converted to the names on disk.
bool map_disk_path(const char* path, PosixPath& out, bool resolveLast = true);

// 8-bit host text (length bytes, in the code page in force) as the name on disk (UTF-8), and
// back, into out (room bytes, terminator included). False, out empty, when a character has no
// exact form on the other side or the result does not fit.
bool to_disk_text(const char* text, size_t length, char* out, size_t room, size_t* written);
bool from_disk_text(const char* name, size_t length, char* out, size_t room, size_t* written);

// Finds in folder dir an existing name equal to name (length bytes) with ASCII case ignored;
// of several such names the smallest byte-wise, so the choice does not depend on listing order.
// Served from the folder's index of folded names (host_case_index_posix.cpp). Returns 1 when
// found, 0 when not, -1 when dir is no folder.
// indexed (when given) tells whether the answer came from an index that was current.
int find_folded(const char* dir, const char* name, size_t length, char* match, size_t room,
                bool* indexed = nullptr);

// True for "." and "..": names that lead to a folder itself, never listed as a name in it.
inline bool is_dot_name(const char* name, size_t length) {
  return (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
}

// Answers for the last name of path from its folder's index, when this process already holds
// one and the folder has not changed since: 1 the name is there as written, 2 a name that
// differs only in case is (written over the name in path), 0 there is none. -1 when there is
// no such index and the disk must be asked. Costs one look at the folder, none at the name.
int find_indexed(char* path);

// This process's own change to a folder, so its index stays right without a new listing: made
// before the change with the POSIX path of the name that is added or removed, and told after a
// change that succeeded.
class FolderChange {
 public:
  // indexJustChecked: the path's resolution found the folder's index current a moment ago
  // (PosixPath::folderIndexed), so the folder need not be looked at again before the change.
  explicit FolderChange(const char* path, bool indexJustChecked = false);
  void added() { done(true); }
  void removed() { done(false); }

 private:
  void done(bool added);
  const char* path_;
};

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

// True when a handle of this library (in any process) holds the file at a POSIX path open.
bool in_use(const char* path);
// How handles of this library hold the file at a POSIX path: not at all, only for reading
// (others may read, nobody may change it), or for writing (nobody else may open it).
enum class Hold { None, Readers, Writer };
Hold hold_of(const char* path);

// Looking a path up, linking a second name, and the running-program test behind
// g_hostDefaultOps.lookup / link / busy.
int lookup(const char* path, uint32_t* attributes);
int link(const char* existing, const char* newPath);
int busy(const char* path);

// Replacing, cutting and syncing files behind g_hostDefaultOps.replace / truncate / sync.
int replace(const char* from, const char* to);
int truncate(const char* path, int32_t length);
int sync(const char* path);
int carry_permissions(HostHandle handle, const char* like);
int sync_folder(const char* path);

// The clock of the waits on a held file, the volume flush and the copy of access entries
// behind g_hostDefaultOps.ticks / pause / flush_volume / copy_access.
uint32_t ticks();
void pause(uint32_t milliseconds);
int flush_volume(const char* path);
int copy_access(const char* from, const char* to);

// Change locks behind g_hostDefaultOps.lock / unlock (host_lock_posix.cpp).
HostHandle lock(const char* path);
int unlock(const char* path, HostHandle lock);

// Directory enumeration behind g_hostDefaultOps.find_first / find_next / find_close.
intptr_t find_first(const char* pattern, HostFindData* out);
int find_next(intptr_t search, HostFindData* out);
void find_close(intptr_t search);

}  // namespace host_posix
