// Win32 file steps for the tools' safe changes: MoveFileEx replacing the target (write-through)
// once no handle holds it, SetEndOfFile, FlushFileBuffers, and the system path (the host path
// itself). A hold that may pass is reported as HOST_IN_USE, for the wrappers to wait on.
#include <windows.h>

#include <cstring>

#include "host/host_win32.h"

namespace host_win32 {

int replace(const char* from, const char* to) {
  if (!path_fits(from) || !path_fits(to)) return -1;
  // A read-only target is never replaced, however long one waits.
  if (unchangeable(to)) return -1;
  // An open that shares nothing fails while any handle holds the target (Wine renames over a
  // held file; Windows refuses it with access denied).
  const HANDLE target =
      CreateFileA(to, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (target != INVALID_HANDLE_VALUE) {
    CloseHandle(target);
  } else {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return HOST_IN_USE;
  }
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return failure();
}

int truncate(const char* path, int32_t length) {
  if (length < 0 || !path_fits(path)) return -1;
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  const bool ok = SetFilePointer(file, LONG(length), nullptr, FILE_BEGIN) == DWORD(length) &&
                  SetEndOfFile(file) != 0;
  return CloseHandle(file) != 0 && ok ? 0 : -1;
}

int sync(const char* path) {
  if (!path_fits(path)) return -1;
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failure();
  const bool ok = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && ok ? 0 : -1;
}

// The read-only attribute is the one permission the update carries on Windows, and it does so
// by attributes; nothing is to be done through the handle.
int carry_permissions(HostHandle, const char*) { return 0; }

// NTFS writes folder changes to its log in order, and moves are made write-through; there is
// no handle to flush a folder's names through on its own.
int sync_folder(const char* path) { return path_fits(path) ? 0 : -1; }

}  // namespace host_win32

size_t host_system_path(const char* path, char* buffer, size_t room) {
  if (path == nullptr || buffer == nullptr) return 0;
  const size_t length = strlen(path);
  if (length >= room) return 0;
  memcpy(buffer, path, length + 1);
  return length;
}
