// Win32 host backend: the host service table (g_hostDefaultOps) over the kernel's 8-bit file
// and attribute calls and the C heap. Fixes the access, share modes and creation dispositions
// of the whole system; keeps every file and offset below 2 GiB.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "host/host.h"
#include "host/host_win32.h"

namespace host_win32 {

// Paths handed to the system are zero-terminated within HOST_PATH_ROOM bytes.
bool path_fits(const char* path) {
  return path != nullptr && path[0] != '\0' && strnlen(path, HOST_PATH_ROOM) < HOST_PATH_ROOM;
}

namespace {

// Values 20000 to 20009 are member handles of the file layer; no host handle may look like one.
constexpr intptr_t MEMBER_HANDLE_FIRST = 20000;
constexpr intptr_t MEMBER_HANDLE_LAST = 20009;

bool in_member_range(HANDLE h) {
  const intptr_t value = reinterpret_cast<intptr_t>(h);
  return value >= MEMBER_HANDLE_FIRST && value <= MEMBER_HANDLE_LAST;
}

// Kernel handles use only their low 32 bits (also on 64-bit Windows, where sign-extending
// a truncated handle gives it back), so a HostHandle carries one unchanged.
HANDLE to_handle(HostHandle h) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(h)); }
HostHandle from_handle(HANDLE h) { return static_cast<HostHandle>(reinterpret_cast<intptr_t>(h)); }

// Swaps a handle whose value falls in the member range for a duplicate outside it. Handle
// values are multiples of four, so at most three duplicates can land in the range; those are
// held open while the next is made, so each new duplicate gets a fresh value.
HANDLE outside_member_range(HANDLE h) {
  HANDLE held[MEMBER_HANDLE_LAST - MEMBER_HANDLE_FIRST + 2];
  size_t heldCount = 0;
  const HANDLE self = GetCurrentProcess();
  while (h != INVALID_HANDLE_VALUE && in_member_range(h)) {
    held[heldCount++] = h;
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (heldCount == sizeof held / sizeof held[0] ||
        !DuplicateHandle(self, h, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      copy = INVALID_HANDLE_VALUE;
    }
    h = copy;
  }
  for (size_t i = 0; i < heldCount; ++i) CloseHandle(held[i]);
  return h;
}

// The whole size of an open file, or -1 when it cannot be read.
int64_t full_size(HANDLE h) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) return -1;
  return size.QuadPart;
}

// The current position of an open file, or -1.
int64_t position_of(HANDLE h) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(h, zero, &position, FILE_CURRENT)) return -1;
  return position.QuadPart;
}

// A read-only file admits no write access and is not replaced by a create. Windows refuses
// both by itself; Wine running as root does not (root passes the permission bits), so the
// attribute is checked here as well.
bool read_only_file(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Opens or creates through CreateFileA and hands back a value the file layer can hold: a disk
// file (never a device such as "CON" or "NUL", nor a pipe), not in the member range, and not of
// 2 GiB or more, which 32-bit sizes cannot describe.
HostHandle open_file(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (!path_fits(path)) return HOST_INVALID_HANDLE;
  if (((access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS) && read_only_file(path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return HOST_INVALID_HANDLE;
  }
  HANDLE h = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return HOST_INVALID_HANDLE;
  const int64_t size = GetFileType(h) == FILE_TYPE_DISK ? full_size(h) : -1;
  if (size < 0 || size > HOST_MAX_FILE_SIZE) {
    CloseHandle(h);
    return HOST_INVALID_HANDLE;
  }
  h = outside_member_range(h);
  return h == INVALID_HANDLE_VALUE ? HOST_INVALID_HANDLE : from_handle(h);
}

HostHandle win_open(const char* path, int mode) {
  switch (mode & 0xF) {
    case HOST_MODE_WRITE:
      return open_file(path, GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    case HOST_MODE_READWRITE:
      return open_file(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
    default:
      return open_file(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  }
}

HostHandle win_create(const char* path, uint32_t attributes) {
  const DWORD disposition = (attributes & HOST_CREATE_NEW) != 0 ? CREATE_NEW : CREATE_ALWAYS;
  attributes &= ~HOST_CREATE_NEW;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  if (attributes != 0) {
    flags = attributes & (HOST_ATTR_READONLY | HOST_ATTR_HIDDEN | HOST_ATTR_SYSTEM);
    if ((attributes & (HOST_ATTR_READONLY | HOST_ATTR_SYSTEM)) != 0) access = GENERIC_READ;
  }
  return open_file(path, access, FILE_SHARE_READ, disposition, flags);
}

int32_t win_read(HostHandle handle, void* buffer, int32_t count) {
  if (buffer == nullptr || count <= 0) return 0;
  DWORD moved = 0;
  if (!ReadFile(to_handle(handle), buffer, static_cast<DWORD>(count), &moved, nullptr)) return 0;
  return static_cast<int32_t>(moved);
}

int32_t win_write(HostHandle handle, const void* buffer, int32_t count) {
  if (buffer == nullptr || count <= 0) return 0;
  const HANDLE h = to_handle(handle);
  // A write that would carry the file past 2 GiB is refused whole, before any byte moves.
  const int64_t position = position_of(h);
  if (position < 0 || position + count > HOST_MAX_FILE_SIZE) return 0;
  DWORD moved = 0;
  if (!WriteFile(h, buffer, static_cast<DWORD>(count), &moved, nullptr)) return 0;
  return static_cast<int32_t>(moved);
}

int win_close(HostHandle handle) {
  if (handle == HOST_INVALID_HANDLE) return -1;
  return CloseHandle(to_handle(handle)) ? 0 : -1;
}

int32_t win_seek(HostHandle handle, int32_t offset, int method) {
  const HANDLE h = to_handle(handle);
  int64_t base = 0;
  DWORD how = FILE_BEGIN;
  switch (method) {
    case HOST_SEEK_BEGIN:
      break;
    case HOST_SEEK_CURRENT:
      how = FILE_CURRENT;
      base = position_of(h);
      break;
    case HOST_SEEK_END:
      how = FILE_END;
      base = full_size(h);
      break;
    default:
      return -1;
  }
  // Worked out first so that a refused seek leaves the position where it was.
  const int64_t target = base + offset;
  if (base < 0 || target < 0 || target > HOST_MAX_FILE_SIZE) return -1;
  const DWORD position = SetFilePointer(h, offset, nullptr, how);
  if (position == INVALID_SET_FILE_POINTER) return -1;
  return static_cast<int32_t>(position);
}

int32_t win_size(HostHandle handle) {
  const int64_t size = full_size(to_handle(handle));
  if (size < 0 || size > HOST_MAX_FILE_SIZE) return -1;
  return static_cast<int32_t>(size);
}

// Only a handle with write access can be flushed (Windows refuses any other with access
// denied): the library flushes only handles it opened for writing, so every refusal is a
// failure.
int win_flush(HostHandle handle) { return FlushFileBuffers(to_handle(handle)) ? 0 : -1; }

// A read-only file or a folder is refused at once; a file that another handle holds may be
// let go.
int win_remove(const char* path) {
  if (!path_fits(path) || unchangeable(path)) return -1;
  return DeleteFileA(path) ? 0 : failure();
}

int win_make_dir(const char* path) {
  return path_fits(path) && CreateDirectoryA(path, nullptr) ? 0 : -1;
}

int win_remove_dir(const char* path) { return path_fits(path) && RemoveDirectoryA(path) ? 0 : -1; }

int win_set_attributes(const char* path, uint32_t attributes) {
  return path_fits(path) && SetFileAttributesA(path, attributes) ? 0 : -1;
}

uint32_t win_get_attributes(const char* path) {
  if (!path_fits(path)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesA(path);
}

// A request for 0 bytes gets a 1-byte block: realloc(block, 0) would free the block and
// return null, which callers take for a failure that left the old block untouched.
void* heap_alloc(size_t bytes) { return malloc(bytes != 0 ? bytes : 1); }
void* heap_realloc(void* block, size_t bytes) { return realloc(block, bytes != 0 ? bytes : 1); }
void heap_free(void* block) { free(block); }

}  // namespace
}  // namespace host_win32

constinit const HostOps g_hostDefaultOps = {
    .open = host_win32::win_open,
    .create = host_win32::win_create,
    .read = host_win32::win_read,
    .write = host_win32::win_write,
    .close = host_win32::win_close,
    .seek = host_win32::win_seek,
    .size = host_win32::win_size,
    .flush = host_win32::win_flush,
    .remove = host_win32::win_remove,
    .move = host_win32::move,
    .make_dir = host_win32::win_make_dir,
    .remove_dir = host_win32::win_remove_dir,
    .set_attributes = host_win32::win_set_attributes,
    .get_attributes = host_win32::win_get_attributes,
    .find_first = host_win32::find_first,
    .find_next = host_win32::find_next,
    .find_close = host_win32::find_close,
    .alloc = host_win32::heap_alloc,
    .realloc = host_win32::heap_realloc,
    .free = host_win32::heap_free,
    .replace = host_win32::replace,
    .truncate = host_win32::truncate,
    .sync = host_win32::sync,
    .lock = host_win32::lock,
    .unlock = host_win32::unlock,
    .lookup = host_win32::lookup,
    .link = host_win32::link,
    .busy = host_win32::busy,
    .carry_permissions = host_win32::carry_permissions,
    .sync_folder = host_win32::sync_folder,
    .ticks = host_win32::ticks,
    .pause = host_win32::pause,
    .flush_volume = host_win32::flush_volume,
    .copy_access = host_win32::copy_access,
};
