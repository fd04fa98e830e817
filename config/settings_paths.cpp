// Folders of the settings reader: the settings folder taken from the file being loaded, the
// extra include folder, and the bounded joining of a folder and a name for open attempts.
#include <cstring>

#include "config/settings_store.h"
#include "host/host.h"
#include "host/path.h"

namespace {

// Appends source to the NUL-terminated text in out; false (out unchanged) when it does not fit.
bool append_bounded(char* out, size_t room, const char* source) {
  const size_t have = std::strlen(out);
  const size_t add = std::strlen(source);
  if (have + add + 1 > room) return false;
  std::memcpy(out + have, source, add + 1);
  return true;
}

// A drive ("X:") or root ("\", or "/" where that separates) makes a path absolute.
bool is_absolute(const char* path) {
  if (path[0] == '\0') return false;
  return path[1] == ':' || path[0] == '\\' || (path[0] == '/' && path_is_separator('/'));
}

}  // namespace

bool settings_join_path(char* out, size_t room, const char* folder, const char* name) {
  if (room == 0) return false;
  out[0] = '\0';
  if (append_bounded(out, room, folder) && path_add_slash(out, room) == 0 &&
      append_bounded(out, room, name)) {
    return true;
  }
  out[0] = '\0';
  return false;
}

bool settings_set_folder(const char* path) {
  char* folder = g_settings.folder;
  folder[0] = '\0';

  // Length of the directory part (walked by character), checked before it is copied out.
  const size_t dirLength = path_dir_length(path);
  if (dirLength + 1 > SETTINGS_FOLDER_ROOM) return false;
  char directory[SETTINGS_FOLDER_ROOM];
  directory[0] = '\0';
  if (dirLength > 0) path_dir_part(directory, path);

  if (!is_absolute(directory)) {
    if (host_current_dir(folder, SETTINGS_FOLDER_ROOM) == 0 ||
        path_add_slash(folder, SETTINGS_FOLDER_ROOM) != 0) {
      folder[0] = '\0';
      return false;
    }
  }
  if (!append_bounded(folder, SETTINGS_FOLDER_ROOM, directory)) {
    folder[0] = '\0';
    return false;
  }
  return true;
}

int SettingsSetIncludeFolder(const char* path) {
  if (path == nullptr) return 0;
  const size_t length = std::strlen(path);
  if (length + 1 > SETTINGS_INCLUDE_FOLDER_ROOM) return 0;
  std::memcpy(g_settings.includeFolder, path, length + 1);
  return 1;
}
