// Win32 host backend, moves: MoveFileA, plus the second step that a rename changing only the
// case of a name needs where the system reports success without renaming (Wine).
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "host/host_win32.h"
#include "host/path.h"

namespace host_win32 {
namespace {

bool differ_only_in_case(const char* a, const char* b) {
  return strcmp(a, b) != 0 && path_same_ignoring_case(a, b);
}

// Offset of the file name in a path: after the last '\\', '/' or ':' character.
size_t name_offset(const char* path) {
  const unsigned codePage = path_code_page();
  size_t offset = 0;
  for (size_t i = 0; path[i] != '\0';) {
    const size_t step = path_char_bytes(path + i, codePage);
    if (step == 1 && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) offset = i + 1;
    i += step;
  }
  return offset;
}

// The name a path's file carries on disk, into name (MAX_PATH bytes); false when not found.
bool name_on_disk(const char* path, char* name) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  memcpy(name, found.cFileName, sizeof found.cFileName);
  name[MAX_PATH - 1] = '\0';
  return true;
}

// A move that only changes the case of a name reports success under Wine without renaming
// anything, since the new name resolves to the old file. When the name on disk is still not
// the one asked for, the rename goes through a free temporary name in the same folder.
int finish_case_rename(const char* oldPath, const char* newPath) {
  char onDisk[MAX_PATH];
  if (!name_on_disk(newPath, onDisk)) return -1;
  if (strcmp(onDisk, newPath + name_offset(newPath)) == 0) return 0;

  char temporary[HOST_PATH_ROOM];
  const size_t folder = name_offset(newPath);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const int length = snprintf(temporary, sizeof temporary, "%.*s~mv%08lx%02u.tmp",
                                static_cast<int>(folder), newPath, GetTickCount(), attempt);
    if (length < 0 || static_cast<size_t>(length) >= sizeof temporary) return -1;
    if (GetFileAttributesA(temporary) != INVALID_FILE_ATTRIBUTES) continue;
    if (!MoveFileA(newPath, temporary)) return -1;
    if (MoveFileA(temporary, newPath)) return 0;
    MoveFileA(temporary, oldPath);  // put it back under the name it had
    return -1;
  }
  return -1;
}

}  // namespace

int move(const char* oldPath, const char* newPath) {
  if (!path_fits(oldPath) || !path_fits(newPath) || !MoveFileA(oldPath, newPath)) return -1;
  return differ_only_in_case(oldPath, newPath) ? finish_case_rename(oldPath, newPath) : 0;
}

}  // namespace host_win32
