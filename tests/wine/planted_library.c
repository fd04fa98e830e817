/* A library planted beside a program under test under the name of a system library: whatever
   loads it makes it leave a marker file beside itself (its own path with ".loaded" added),
   and it then refuses to stay loaded. Built once; the tests copy it under each name. */
#include <windows.h>

#include <string.h>

static const char MARKER_SUFFIX[] = ".loaded";

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH + sizeof MARKER_SUFFIX];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    memcpy(path + length, MARKER_SUFFIX, sizeof MARKER_SUFFIX);
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  return FALSE;
}
