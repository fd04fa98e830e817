// Win32 environment paths: the Windows folder, the current folder and the running executable's
// own path, each copied whole into the caller's buffer or not at all.
#include <windows.h>

#include "host/host.h"

namespace {

// The system calls take a DWORD size; a larger buffer is simply used in part.
DWORD room_for_system(size_t room) { return room > MAXDWORD ? MAXDWORD : static_cast<DWORD>(room); }

// Turns a system call's length result into ours: the length when the whole text and its
// terminator fit, else 0 with the buffer emptied (the calls return the needed size, or a
// truncated text that may lack its terminator, when the buffer is short).
size_t whole_or_nothing(char* buffer, size_t room, DWORD length) {
  if (length == 0 || length >= room) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[length] = '\0';
  return length;
}

}  // namespace

size_t host_windows_dir(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const DWORD length = GetWindowsDirectoryA(buffer, static_cast<UINT>(room_for_system(room)));
  return whole_or_nothing(buffer, room, length);
}

size_t host_current_dir(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const DWORD length = GetCurrentDirectoryA(room_for_system(room), buffer);
  return whole_or_nothing(buffer, room, length);
}

size_t host_module_path(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const DWORD length = GetModuleFileNameA(nullptr, buffer, room_for_system(room));
  return whole_or_nothing(buffer, room, length);
}
