// Win32 system errors for the application's reports: the last error, its text in UTF-8, the
// program holding a file (the Restart Manager, loaded from the system folder when asked), and
// the folder the support log goes to by default (the user's temporary folder).
#include <windows.h>
// after windows.h, which it needs
#include <restartmanager.h>

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

namespace {

using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
using EndSession = DWORD(WINAPI*)(DWORD);

}  // namespace

size_t host_holder_name(const char* path, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  wchar_t widePath[MAX_PATH];
  if (path == nullptr || MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) <= 0) return 0;
  char library[MAX_PATH];
  const UINT folder = GetSystemDirectoryA(library, MAX_PATH);
  if (folder == 0 || folder + 14 >= MAX_PATH) return 0;
  lstrcpyA(library + folder, "\\rstrtmgr.dll");
  const HMODULE rm = LoadLibraryA(library);
  if (rm == nullptr) return 0;
  const auto start = reinterpret_cast<StartSession>(reinterpret_cast<void*>(GetProcAddress(rm, "RmStartSession")));
  const auto add = reinterpret_cast<RegisterResources>(reinterpret_cast<void*>(GetProcAddress(rm, "RmRegisterResources")));
  const auto list = reinterpret_cast<GetList>(reinterpret_cast<void*>(GetProcAddress(rm, "RmGetList")));
  const auto end = reinterpret_cast<EndSession>(reinterpret_cast<void*>(GetProcAddress(rm, "RmEndSession")));
  size_t length = 0;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start != nullptr && add != nullptr && list != nullptr && end != nullptr &&
      start(&session, 0, key) == ERROR_SUCCESS) {
    LPCWSTR files[] = {widePath};
    RM_PROCESS_INFO info[1];
    UINT needed = 0, count = 1;
    DWORD reasons = 0;
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        list(session, &needed, &count, info, &reasons) != ERROR_INVALID_PARAMETER && needed > 0 && count > 0) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, info[0].strAppName, -1, buffer,
                                        int(room > 0x7FFFFFFF ? 0x7FFFFFFF : room), nullptr, nullptr);
      length = n > 1 ? size_t(n - 1) : 0;
      if (length == 0) buffer[0] = '\0';
    }
    end(session);
  }
  FreeLibrary(rm);
  return length;
}

