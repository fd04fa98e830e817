// Win32 side of the waits on a held file: the tick count and Sleep, and which error codes say
// that a file is held for now. A scanner, the search indexer or a preview opens a fresh file for
// a moment; opens then fail with a sharing violation, and a rename over a file that any handle
// holds with access denied.
#include <windows.h>

#include "host/host_win32.h"

#ifndef ERROR_VIRUS_INFECTED
#define ERROR_VIRUS_INFECTED 225L
#endif
#ifndef ERROR_VIRUS_DELETED
#define ERROR_VIRUS_DELETED 226L
#endif

namespace host_win32 {

uint32_t ticks() { return GetTickCount(); }

void pause(uint32_t milliseconds) { Sleep(milliseconds); }

int failure() {
  return host_refusal_of(GetLastError()) == HostRefusal::Held ? HOST_IN_USE : -1;
}

bool unchangeable(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

}  // namespace host_win32

HostRefusal host_refusal_of(uint32_t systemError) {
  switch (systemError) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return HostRefusal::Held;
    // The system's protection refused the file: never waited on, never taken for success.
    case ERROR_VIRUS_INFECTED:
    case ERROR_VIRUS_DELETED:
      return HostRefusal::Protection;
    default:
      return HostRefusal::Other;
  }
}
