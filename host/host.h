// Host file and memory wrappers: the only code that reaches the operating system's files and
// heap. Every call goes through one replaceable table (g_hostOps), so tests can inject failures.
// Results: handles or -1; actions 0 or -1; read and write the bytes moved, 0 on failure.
#pragma once

#include <cstddef>
#include <cstdint>

using HostHandle = int32_t;  // a host file handle as a 32-bit value
constexpr HostHandle HOST_INVALID_HANDLE = -1;

// Open modes of host_open (low four bits).
constexpr int HOST_MODE_READ = 0;       // read, others may read
constexpr int HOST_MODE_WRITE = 1;      // write, exclusive
constexpr int HOST_MODE_READWRITE = 2;  // read and write, exclusive

// File attribute bits, with the values of the Win32 constants.
constexpr uint32_t HOST_ATTR_READONLY = 0x01;
constexpr uint32_t HOST_ATTR_HIDDEN = 0x02;
constexpr uint32_t HOST_ATTR_SYSTEM = 0x04;
constexpr uint32_t HOST_ATTR_DIRECTORY = 0x10;
constexpr uint32_t HOST_ATTR_ARCHIVE = 0x20;
constexpr uint32_t HOST_ATTR_NORMAL = 0x80;

// What host_get_attributes returns for a path that does not exist (INVALID_FILE_ATTRIBUTES).
constexpr uint32_t HOST_NO_SUCH_FILE = 0xFFFFFFFFu;

// Flag of host_create: make the file only if no file of that name exists (CREATE_NEW), so a
// file already there is never truncated.
constexpr uint32_t HOST_CREATE_NEW = 0x100;

// Results of host_lookup.
constexpr int HOST_FOUND = 0;   // the path exists; its attributes were read
constexpr int HOST_ABSENT = 1;  // the host says nothing exists at the path

// Seek methods.
constexpr int HOST_SEEK_BEGIN = 0;
constexpr int HOST_SEEK_CURRENT = 1;
constexpr int HOST_SEEK_END = 2;

// Files and offsets are 32-bit: nothing reaches 2 GiB.
constexpr int64_t HOST_MAX_FILE_SIZE = 0x7FFFFFFF;

// What host_lock and host_replace return when another handle, of this process or another,
// holds the file they need. The backends' replace, sync, link, remove and busy also return it
// for a hold that may pass (a scanner, the search indexer or a preview looking at a fresh
// file): the wrappers then try again until the patience in force runs out.
constexpr int HOST_IN_USE = -2;

// How long the wrappers of replace, sync, link, delete and busy keep trying a file that another
// program holds, in milliseconds: going forward, and on the way back of an update that failed
// part way, where giving up leaves files of two versions side by side.
constexpr uint32_t HOST_PATIENCE_MS = 10000;
constexpr uint32_t HOST_PATIENCE_WAY_BACK_MS = 60000;

// Longest path a host call accepts, terminator included (MAX_PATH).
constexpr size_t HOST_PATH_ROOM = 260;

// One entry of a disk directory listing.
struct HostFindData {
  uint32_t attributes;
  char name[HOST_PATH_ROOM];
};

// The table of host services. Each platform file defines g_hostDefaultOps; g_hostOps starts as
// a copy of it and may be changed by tests (and restored from g_hostDefaultOps).
struct HostOps {
  HostHandle (*open)(const char* path, int mode);
  HostHandle (*create)(const char* path, uint32_t attributes);
  int32_t (*read)(HostHandle handle, void* buffer, int32_t count);
  int32_t (*write)(HostHandle handle, const void* buffer, int32_t count);
  int (*close)(HostHandle handle);
  int32_t (*seek)(HostHandle handle, int32_t offset, int method);
  int32_t (*size)(HostHandle handle);
  int (*flush)(HostHandle handle);
  int (*remove)(const char* path);
  int (*move)(const char* oldPath, const char* newPath);
  int (*make_dir)(const char* path);
  int (*remove_dir)(const char* path);
  int (*set_attributes)(const char* path, uint32_t attributes);
  // Returns the attributes, or HOST_NO_SUCH_FILE when the path does not exist.
  uint32_t (*get_attributes)(const char* path);
  // Directory enumeration: a search id, or -1 when nothing matches; next returns 0 or -1.
  intptr_t (*find_first)(const char* pattern, HostFindData* out);
  int (*find_next)(intptr_t search, HostFindData* out);
  void (*find_close)(intptr_t search);
  void* (*alloc)(size_t bytes);
  void* (*realloc)(void* block, size_t bytes);
  void (*free)(void* block);
  // from takes to's place in one step (to may exist; it keeps its permission bits). Refused
  // with HOST_IN_USE while any handle holds to open.
  int (*replace)(const char* from, const char* to);
  // Cuts the file to length bytes.
  int (*truncate)(const char* path, int32_t length);
  // Puts the file's data on disk.
  int (*sync)(const char* path);
  // A change lock on path: an exclusive lock on the file "path.lock" beside it, made when
  // missing and taken without waiting. Returns a lock handle, HOST_IN_USE while another lock
  // handle holds it, or -1. A rename over path keeps it, since the lock lives in its own file.
  HostHandle (*lock)(const char* path);
  // Gives the lock up and removes its file: 0 or -1.
  int (*unlock)(const char* path, HostHandle lock);
  // HOST_FOUND with the attributes, HOST_ABSENT when the host says the path does not exist,
  // -1 when it could not tell (a failed read is never taken for absence).
  int (*lookup)(const char* path, uint32_t* attributes);
  // A second name for an existing file (a hard link): 0 or -1; newPath must not exist.
  int (*link)(const char* existing, const char* newPath);
  // 1 when a running program has the file: mapped as its image, or open so that others may
  // read but nobody may change it (as a game holds its files); HOST_IN_USE when some other hold
  // keeps it from being changed (one that shares nothing, or a handle of another process on
  // POSIX); 0 when nothing holds it; -1 when it could not tell.
  int (*busy)(const char* path);
  // Gives the open file the permission bits of the file at like, less set-user-ID,
  // set-group-ID and sticky, through the handle (never by name): 0 or -1.
  int (*carry_permissions)(HostHandle handle, const char* like);
  // Puts a folder's own changes (names made, renamed or removed in it) on disk: 0 or -1.
  int (*sync_folder)(const char* path);
  // Milliseconds from some fixed moment (wrapping), and a wait of about that many: the clock
  // of the waits on a held file.
  uint32_t (*ticks)();
  void (*pause)(uint32_t milliseconds);
  // Puts on disk what the file system of path's volume holds in memory, folder changes
  // included: 0, or -1 when the volume could not be flushed (a network share, a volume the
  // process may not open).
  int (*flush_volume)(const char* path);
  // Gives to the access entries that were set on from itself (not inherited from its folder),
  // so that a new copy keeps what was granted on the file it replaces: 0 (also when from has
  // none), or -1.
  int (*copy_access)(const char* from, const char* to);
};

extern const HostOps g_hostDefaultOps;
extern HostOps g_hostOps;

// File wrappers.
HostHandle host_open(const char* path, int mode);
HostHandle host_create(const char* path, uint32_t attributes);
int32_t host_read(HostHandle handle, void* buffer, int32_t count);
int32_t host_write(HostHandle handle, const void* buffer, int32_t count);
int host_close(HostHandle handle);
int host_delete(const char* path);
int32_t host_seek(HostHandle handle, int32_t offset, int method);
int32_t host_size(HostHandle handle);
int host_flush(HostHandle handle);
int host_move(const char* oldPath, const char* newPath);
int host_make_dir(const char* path);
int host_remove_dir(const char* path);
int host_set_attributes(const char* path, uint32_t attributes);
uint32_t host_get_attributes(const char* path);  // HOST_NO_SUCH_FILE when missing
int host_force_delete(const char* path);
// from (its data on disk first) takes to's place in one step: 0, -1, or HOST_IN_USE while a
// handle holds to open; to untouched on failure.
int host_replace(const char* from, const char* to);
// Cuts the file to length bytes and puts it on disk: 0 or -1.
int host_truncate(const char* path, int32_t length);
int host_sync(const char* path);
// HOST_FOUND (attributes filled), HOST_ABSENT, or -1 when the host could not tell.
int host_lookup(const char* path, uint32_t* attributes);
// Gives an existing file a second name: 0 or -1 (newPath must not exist).
int host_link(const char* existing, const char* newPath);
// 1 when a running program has the file (see HostOps::busy; a hold that lasts the whole
// patience counts as one), 0 when not, -1 when unknown.
int host_busy(const char* path);
// The open file takes like's permission bits (set-ID and sticky bits never): 0 or -1.
int host_carry_permissions(HostHandle handle, const char* like);
// The folder's names made, renamed and removed reach the disk: 0 or -1.
int host_sync_folder(const char* path);
// The volume holding path flushed: 0, or -1 (see HostOps::flush_volume). Never waits.
int host_flush_volume(const char* path);
// The explicit access entries of from given to to: 0 or -1 (see HostOps::copy_access).
int host_copy_access(const char* from, const char* to);

// The patience of the waits on a held file for the calls that follow, in milliseconds; returns
// the one it replaces. Starts at HOST_PATIENCE_MS. The environment variable
// VELMOR_PATIENCE_DIVISOR (a whole number from 1, for tests) divides every patience.
uint32_t host_set_patience(uint32_t milliseconds);
// The patience in force, the divisor applied.
uint32_t host_patience();

// Another patience while the object lives: HostPatience wayBack(HOST_PATIENCE_WAY_BACK_MS).
class HostPatience {
 public:
  explicit HostPatience(uint32_t milliseconds) : before_(host_set_patience(milliseconds)) {}
  ~HostPatience() { host_set_patience(before_); }
  HostPatience(const HostPatience&) = delete;
  HostPatience& operator=(const HostPatience&) = delete;

 private:
  uint32_t before_;
};

// What a system error code (GetLastError on Windows, errno on POSIX) says about a refusal, for
// the support log: a hold that may pass, a refusal by the system's protection (a file reported
// as infected), or anything else.
enum class HostRefusal { Other, Held, Protection };
HostRefusal host_refusal_of(uint32_t systemError);
HostHandle host_recreate(const char* path, uint32_t attributes);
// One change of a file at a time, across processes: see HostOps::lock and unlock.
HostHandle host_lock(const char* path);
int host_unlock(const char* path, HostHandle lock);

// Disk search (one at a time, process-wide): the name buffer holds HOST_PATH_ROOM bytes.
// g_hostFind is the host search id of the current search (-1 when none), g_hostFindMask its
// attribute mask.
extern intptr_t g_hostFind;
extern uint32_t g_hostFindMask;
int host_find_first(const char* pattern, uint32_t mask, char* name);
int host_find_next(char* name);

// The system's error number of the last failed call that changes or opens a file (errno on
// POSIX, GetLastError on Windows; 0 before any), and its text in UTF-8 into buffer (room bytes,
// terminated): its length.
int host_last_error();
size_t host_error_text(int error, char* buffer, size_t room);
// The system's error number for the call that has just failed (backends).
int host_system_error();
// The name of a program that holds the file open, where the system can tell (POSIX: from the
// process table; Windows: the Restart Manager), into buffer in UTF-8: its length, or 0.
size_t host_holder_name(const char* path, char* buffer, size_t room);
// The folder a support log goes to by default, with its separator at the end (made when
// missing): its length, or 0 when there is none.
size_t host_log_dir(char* buffer, size_t room);

// Memory wrappers.
void* mem_alloc(size_t bytes);
void* mem_realloc(void* block, size_t bytes);
void mem_free(void* block);

// Environment: each copies a path into buffer (room bytes, terminator included) and returns its
// length, or 0 when it fails or does not fit.
size_t host_windows_dir(char* buffer, size_t room);
size_t host_current_dir(char* buffer, size_t room);
size_t host_module_path(char* buffer, size_t room);
// The path the system itself uses for a host path (on POSIX: mapped as every host call maps
// it; on Windows: the same path).
size_t host_system_path(const char* path, char* buffer, size_t room);
