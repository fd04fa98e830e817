// Win32 change locks: "NAME.lock" beside the file, opened with no sharing and deleted when its
// one handle closes, so a second opener meets a sharing violation and a process that ends
// leaves no lock behind.
#include <windows.h>

#include <cstdio>

#include "host/host_win32.h"

namespace host_win32 {

HostHandle lock(const char* path) {
  char name[HOST_PATH_ROOM];
  if (!path_fits(path) ||
      std::snprintf(name, sizeof name, "%s.lock", path) >= static_cast<int>(sizeof name))
    return -1;
  const HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                               nullptr);
  if (h != INVALID_HANDLE_VALUE) return static_cast<HostHandle>(reinterpret_cast<intptr_t>(h));
  // A lock file being deleted as its holder closes it refuses access for that moment.
  const DWORD why = GetLastError();
  const bool held = why == ERROR_SHARING_VIOLATION ||
                    (why == ERROR_ACCESS_DENIED && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES);
  return held ? HOST_IN_USE : -1;
}

int unlock(const char*, HostHandle lock) {
  return CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(lock))) ? 0 : -1;
}

}  // namespace host_win32
