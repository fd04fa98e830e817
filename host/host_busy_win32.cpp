// Win32 host steps for the updater's crash-safe replacement: telling "no such file" from "could
// not look" (GetLastError), a second name for a file (CreateHardLinkA), and the running-program
// test: an executable that is running is mapped as an image, and the system refuses to open it
// for writing however the opener shares, while it lets readers in.
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
  return CreateHardLinkA(newPath, existing, nullptr) ? 0 : failure();
}

namespace {

// True when the file opens with the given access while sharing everything with other handles.
bool opens_sharing_all(const char* path, DWORD access) {
  const HANDLE file =
      CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

int busy(const char* path) {
  if (!path_fits(path)) return -1;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return -1;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // Nobody may open a read-only file for writing, so a running program's hold cannot be told
    // from none: only a hold that lets nobody read shows (and is waited on). The swap's own
    // waits still meet a running program's.
    if (opens_sharing_all(path, GENERIC_READ)) return 0;
    return failure() == HOST_IN_USE ? HOST_IN_USE : -1;
  }
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return 0;
  }
  if (failure() != HOST_IN_USE) return -1;
  // Something holds it. A running program's image (or a handle that lets others read and
  // nobody write, as a game holds its files) admits readers but no writer, whatever they
  // share; any other hold (one that shares nothing, or shares writing) is waited on.
  if (opens_sharing_all(path, GENERIC_READ) && !opens_sharing_all(path, GENERIC_WRITE) &&
      GetLastError() == ERROR_SHARING_VIOLATION) {
    return 1;
  }
  return HOST_IN_USE;
}

}  // namespace host_win32
