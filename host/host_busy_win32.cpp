// Win32 host steps for the updater's crash-safe replacement: telling "no such file" from "could
// not look" (GetLastError), a second name for a file (CreateHardLinkA), and the running-program
// test: an executable that is running is mapped as an image, and the system refuses to open it
// for writing with no sharing.
#include <windows.h>

#include "host/host_win32.h"

namespace host_win32 {

int lookup(const char* path, uint32_t* attributes) {
  if (!path_fits(path)) return -1;
  const DWORD found = GetFileAttributesA(path);
  if (found != INVALID_FILE_ATTRIBUTES) {
    *attributes = found;
    return HOST_FOUND;
  }
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HOST_ABSENT : -1;
}

int link(const char* existing, const char* newPath) {
  if (!path_fits(existing) || !path_fits(newPath)) return -1;
  return CreateHardLinkA(newPath, existing, nullptr) ? 0 : -1;
}

int busy(const char* path) {
  if (!path_fits(path)) return -1;
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return 0;
  }
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return 1;
    default:
      return -1;
  }
}

}  // namespace host_win32
