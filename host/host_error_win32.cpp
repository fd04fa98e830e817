// Win32 system errors for the application's reports: the last error, its text in UTF-8, and the
// folder the support log goes to by default (the user's temporary folder).
#include <windows.h>

#include <cstdio>

#include "host/host.h"

int host_system_error() { return static_cast<int>(GetLastError()); }

size_t host_error_text(int error, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, static_cast<DWORD>(error), 0, text, 512, nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) {
    const int n = std::snprintf(buffer, room, "system error %d", error);
    return n > 0 && size_t(n) < room ? size_t(n) : 0;
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), buffer,
                                    static_cast<int>(room > 0x7FFFFFFF ? 0x7FFFFFFF : room - 1), nullptr, nullptr);
  if (n <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[n] = '\0';
  return size_t(n);
}

size_t host_log_dir(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const DWORD length = GetTempPathA(room > MAX_PATH + 1 ? MAX_PATH + 1 : static_cast<DWORD>(room), buffer);
  if (length == 0 || length >= room) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}
