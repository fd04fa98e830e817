// The POSIX host backend: g_hostDefaultOps with Windows file semantics kept (share modes through
// open file description locks, no delete or move of an open or read-only file, 32-bit sizes),
// and the current folder and the program's path in the code page.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "host/host_posix.h"

namespace host_posix {
namespace {

// Handles 20000..20009 belong to archive members; host handles must never take them.
constexpr int MEMBER_HANDLE_FIRST = 20000;
constexpr int MEMBER_HANDLE_END = 20010;

// Where each handle's file position stands as far as this layer moved it, so that a write's
// 32-bit limit costs no system call to check. Kept as position + 1: 0, the start of every slot,
// is "not known", and such a handle (or one past the table) is asked (lseek).
constexpr int TRACKED_HANDLES = 4096;
std::atomic<int64_t> g_positions[TRACKED_HANDLES];

void set_position(int fd, int64_t position) {
  if (fd >= 0 && fd < TRACKED_HANDLES) g_positions[fd].store(position + 1, std::memory_order_relaxed);
}

void forget_position(int fd) { set_position(fd, -1); }

// Moves a known position on by count bytes; an unknown one stays unknown.
void advance_position(int fd, int32_t count) {
  if (fd >= 0 && fd < TRACKED_HANDLES && count > 0) {
    std::atomic<int64_t>& slot = g_positions[fd];
    const int64_t known = slot.load(std::memory_order_relaxed);
    if (known > 0) slot.store(known + count, std::memory_order_relaxed);
  }
}

int64_t position_of(int fd) {
  if (fd >= 0 && fd < TRACKED_HANDLES) {
    const int64_t known = g_positions[fd].load(std::memory_order_relaxed);
    if (known > 0) return known - 1;
  }
  return lseek(fd, 0, SEEK_CUR);
}

bool read_only(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// Opens a regular file only (never a folder, and never waits on a pipe or device).
int open_regular(const char* path, int flags, mode_t permissions, struct stat& st) {
  const int fd = open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, permissions);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Makes a new file: with O_EXCL nothing that was there (a folder, a pipe, a link) is opened, so
// the descriptor is a regular file without looking, and there is no pipe to wait on.
int open_new(const char* path, int flags, mode_t permissions) {
  return open(path, flags | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, permissions);
}

// A new handle, at the start of its file.
int hand_out(int fd) {
  const int handle = move_out_of_range(fd, MEMBER_HANDLE_FIRST, MEMBER_HANDLE_END);
  set_position(handle, 0);
  return handle;
}

int fail_closing(int fd) {
  close(fd);
  return -1;
}

HostHandle posix_open(const char* path, int mode) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  const int choice = mode & 0xF;
  const int access = choice == HOST_MODE_WRITE       ? O_WRONLY
                     : choice == HOST_MODE_READWRITE ? O_RDWR
                                                     : O_RDONLY;
  struct stat st;
  const int fd = open_regular(p.text, access, 0, st);
  if (fd < 0) return -1;
  const bool writes = access != O_RDONLY;
  if (st.st_size > HOST_MAX_FILE_SIZE || (writes && read_only(st))) return fail_closing(fd);
  if (!lock_file(fd, writes ? F_WRLCK : F_RDLCK)) return fail_closing(fd);
  return hand_out(fd);
}

// Always creates or truncates; the truncation happens only once the lock is held.
HostHandle posix_create(const char* path, uint32_t attributes) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  const bool makeReadOnly = (attributes & HOST_ATTR_READONLY) != 0;
  const bool readAccessOnly = (attributes & (HOST_ATTR_READONLY | HOST_ATTR_SYSTEM)) != 0;
  const int access = readAccessOnly ? O_RDONLY : O_RDWR;
  const mode_t permissions = makeReadOnly ? 0444 : 0666;

  struct stat st;
  bool existed = false;
  FolderChange change(p.text, p.folderIndexed);
  int fd = open_new(p.text, access, permissions);
  if (fd >= 0) change.added();
  if (fd < 0 && errno == EEXIST && (attributes & HOST_CREATE_NEW) == 0) {
    existed = true;
    fd = open_regular(p.text, access, 0, st);
  }
  if (fd < 0) return -1;
  if (existed && read_only(st)) return fail_closing(fd);  // as Windows: no overwriting it

  if (!lock_file(fd, readAccessOnly ? F_RDLCK : F_WRLCK)) return fail_closing(fd);
  if (existed) {
    if (readAccessOnly) {
      // Only a write lock keeps readers out; without one, check that no reader would see the
      // file cut under it.
      if (held_by_others(fd, F_WRLCK) || truncate(p.text, 0) != 0) return fail_closing(fd);
    } else if (ftruncate(fd, 0) != 0) {
      return fail_closing(fd);
    }
    if (makeReadOnly && fchmod(fd, st.st_mode & 07555) != 0) return fail_closing(fd);
  }
  return hand_out(fd);
}

int32_t posix_read(HostHandle handle, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    const ssize_t n =
        read(handle, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  advance_position(handle, done);
  return done;
}

int32_t posix_write(HostHandle handle, const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int64_t position = position_of(handle);
  if (position < 0 || position + count > HOST_MAX_FILE_SIZE) return 0;  // past the 32-bit limit
  int32_t done = 0;
  while (done < count) {
    const ssize_t n =
        write(handle, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  set_position(handle, position + done);
  return done;
}

int posix_close(HostHandle handle) {
  if (handle < 0) return -1;
  forget_position(handle);  // before the number can be handed out again
  return close(handle) == 0 ? 0 : -1;
}

int32_t posix_seek(HostHandle handle, int32_t offset, int method) {
  off_t base;
  struct stat st;
  switch (method) {
    case HOST_SEEK_BEGIN:
      base = 0;
      break;
    case HOST_SEEK_CURRENT:
      base = position_of(handle);
      break;
    case HOST_SEEK_END:
      base = fstat(handle, &st) == 0 ? st.st_size : -1;
      break;
    default:
      return -1;
  }
  if (base < 0) return -1;
  const int64_t target = static_cast<int64_t>(base) + offset;
  if (target < 0 || target > HOST_MAX_FILE_SIZE) return -1;
  if (lseek(handle, static_cast<off_t>(target), SEEK_SET) < 0) return -1;
  set_position(handle, target);
  return static_cast<int32_t>(target);
}

int32_t posix_size(HostHandle handle) {
  struct stat st;
  if (fstat(handle, &st) != 0 || st.st_size > HOST_MAX_FILE_SIZE) return -1;
  return static_cast<int32_t>(st.st_size);
}

int posix_flush(HostHandle handle) { return fsync(handle) == 0 ? 0 : -1; }

int posix_remove(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat st;
  if (lstat(p.text, &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  if (stat(p.text, &st) == 0 && S_ISREG(st.st_mode)) {
    if (read_only(st)) return -1;
    if (in_use(p.text)) return HOST_IN_USE;  // as a sharing violation: the holder may let go
  }
  FolderChange change(p.text);
  if (unlink(p.text) != 0) return -1;
  change.removed();
  return 0;
}

// Renames without replacing an existing target.
int rename_no_replace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // File systems without the flag: the target was checked to be absent just before.
  return rename(from, to) == 0 ? 0 : -1;
}

int posix_move(const char* oldPath, const char* newPath) {
  PosixPath from, to, toExisting;
  if (!to_posix_path(oldPath, from) || !to_posix_path(newPath, to, false) ||
      !to_posix_path(newPath, toExisting)) {
    return -1;
  }
  struct stat source, target;
  if (lstat(from.text, &source) != 0) return -1;
  if (lstat(toExisting.text, &target) == 0) {
    // The target exists, unless it is the source's own name, perhaps in another case.
    if (strcmp(toExisting.text, from.text) != 0) return -1;
    if (strcmp(to.text, from.text) == 0) return 0;  // nothing to change
  }
  if (S_ISREG(source.st_mode) && in_use(from.text)) return -1;
  FolderChange leaving(from.text), arriving(to.text);
  if (rename_no_replace(from.text, to.text) != 0) return -1;
  leaving.removed();
  arriving.added();
  return 0;
}

int posix_make_dir(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  FolderChange change(p.text, p.folderIndexed);
  if (mkdir(p.text, 0777) != 0) return -1;
  change.added();
  return 0;
}

int posix_remove_dir(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  FolderChange change(p.text);
  if (rmdir(p.text) != 0) return -1;
  change.removed();
  return 0;
}

// Only the read-only bit has a POSIX meaning (the owner's write permission); folders keep theirs.
int posix_set_attributes(const char* path, uint32_t attributes) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat st;
  if (stat(p.text, &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return 0;
  const mode_t permissions = st.st_mode & 07777;
  const mode_t wanted = (attributes & HOST_ATTR_READONLY) != 0 ? (permissions & ~mode_t{0222})
                                                                : (permissions | S_IWUSR);
  if (wanted == permissions) return 0;
  return chmod(p.text, wanted) == 0 ? 0 : -1;
}

uint32_t posix_get_attributes(const char* path) {
  PosixPath p;
  struct stat st;
  if (!to_posix_path(path, p) || stat(p.text, &st) != 0) return HOST_NO_SUCH_FILE;
  return attributes_of(st);
}

// The C heap, except that a request for 0 bytes gets a real block: realloc(block, 0) would
// free the block and return null, which callers take for a failure that left it untouched.
void* heap_alloc(size_t bytes) { return malloc(bytes != 0 ? bytes : 1); }
void* heap_realloc(void* block, size_t bytes) { return realloc(block, bytes != 0 ? bytes : 1); }
void heap_free(void* block) { free(block); }

// Copies a name on disk into buffer in the code page when it converts and fits with its
// terminator; returns its length or 0 (buffer empty).
size_t copy_out(const char* text, size_t length, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  size_t written = 0;
  if (length == 0 || !from_disk_text(text, length, buffer, room, &written)) return 0;
  return written;
}

}  // namespace

// Takes a whole-file lock of the given type without waiting. False only when another handle's
// lock is in the way: on a file system without such locks the file opens unshared rather than
// not at all.
bool lock_file(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
  return errno != EAGAIN && errno != EACCES;
}

// True when some other open file description (in any process) holds a lock that conflicts
// with a lock of the given type on fd's file (false when the file system cannot tell).
bool held_by_others(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

bool in_use(const char* path) { return hold_of(path) != Hold::None; }

Hold hold_of(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Hold::None;
  // A read lock is in the way of a write lock only; a write lock is in the way of any lock.
  const Hold hold = held_by_others(fd, F_RDLCK)   ? Hold::Writer
                    : held_by_others(fd, F_WRLCK) ? Hold::Readers
                                                  : Hold::None;
  close(fd);
  return hold;
}

int move_out_of_range(int fd, int first, int end) {
  if (fd < first || fd >= end) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, end);
  close(fd);  // the lock belongs to the open file description, which the copy keeps
  return moved;
}

}  // namespace host_posix

constinit const HostOps g_hostDefaultOps = {
    host_posix::posix_open,           host_posix::posix_create,     host_posix::posix_read,
    host_posix::posix_write,          host_posix::posix_close,      host_posix::posix_seek,
    host_posix::posix_size,           host_posix::posix_flush,      host_posix::posix_remove,
    host_posix::posix_move,           host_posix::posix_make_dir,   host_posix::posix_remove_dir,
    host_posix::posix_set_attributes, host_posix::posix_get_attributes, host_posix::find_first,
    host_posix::find_next,            host_posix::find_close,       host_posix::heap_alloc,
    host_posix::heap_realloc,         host_posix::heap_free,        host_posix::replace,
    host_posix::truncate,             host_posix::sync,             host_posix::lock,
    host_posix::unlock,               host_posix::lookup,           host_posix::link,
    host_posix::busy,                 host_posix::carry_permissions, host_posix::sync_folder,
    host_posix::ticks,                host_posix::pause,            host_posix::flush_volume,
    host_posix::copy_access,
};

// The Windows folder of the Wine prefix, as the Windows-style path that maps onto it (ASCII:
// the same in every code page).
size_t host_windows_dir(char* buffer, size_t room) {
  static const char windowsDir[] = "C:\\windows";
  return host_posix::copy_out(windowsDir, sizeof windowsDir - 1, buffer, room);
}

size_t host_current_dir(char* buffer, size_t room) {
  char cwd[host_posix::POSIX_PATH_ROOM];
  if (getcwd(cwd, sizeof cwd) == nullptr) return host_posix::copy_out("", 0, buffer, room);
  return host_posix::copy_out(cwd, strlen(cwd), buffer, room);
}

size_t host_module_path(char* buffer, size_t room) {
  char self[host_posix::POSIX_PATH_ROOM];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof self) {
    return host_posix::copy_out("", 0, buffer, room);
  }
  return host_posix::copy_out(self, static_cast<size_t>(length), buffer, room);
}
