// Win32 host backend, directory listing: FindFirstFileA, FindNextFileA and FindClose, each
// entry's attributes and name copied into a HostFindData.
#include <windows.h>

#include <cstring>

#include "host/host_win32.h"

namespace host_win32 {
namespace {

// Copies one listing entry out of the system's find record.
void fill_find_data(const WIN32_FIND_DATAA& found, HostFindData* out) {
  out->attributes = found.dwFileAttributes;
  const size_t length = strnlen(found.cFileName, sizeof found.cFileName);
  const size_t kept = length < sizeof out->name ? length : sizeof out->name - 1;
  memcpy(out->name, found.cFileName, kept);
  out->name[kept] = '\0';
}

}  // namespace

intptr_t find_first(const char* pattern, HostFindData* out) {
  if (!path_fits(pattern) || out == nullptr) return -1;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  fill_find_data(found, out);
  return reinterpret_cast<intptr_t>(search);
}

int find_next(intptr_t search, HostFindData* out) {
  if (search == -1 || out == nullptr) return -1;
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &found)) return -1;
  fill_find_data(found, out);
  return 0;
}

void find_close(intptr_t search) {
  if (search != -1) FindClose(reinterpret_cast<HANDLE>(search));
}

}  // namespace host_win32
