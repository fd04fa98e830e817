// Text helpers of the file dialogs, on every platform: the default extension taken from a
// dialog filter, and the walk through a list of strings ended by an empty one.
#include <cstring>

#include "platform/file_dialog.h"

int append_filter_extension(char* name, size_t room, const char* filter) {
  if (name == nullptr || filter == nullptr) return 0;
  const size_t length = strnlen(name, room);
  if (length == room) return -1;
  if (memchr(name, '.', length) != nullptr) return 0;
  const char* dot = strchr(filter, '.');
  if (dot == nullptr) return 0;
  const char* close = strchr(dot, ')');
  if (close == nullptr) return 0;
  // 'Pictures (*.bmp;*.png)' names several: the first is the default.
  size_t extension = strcspn(dot, "); \t");
  if (memchr(dot, '*', extension) != nullptr || memchr(dot, '?', extension) != nullptr) {
    return 0;  // '*.*' names no extension a file could have
  }
  if (extension <= 1) return 0;  // a bare '.'
  if (length + extension + 1 > room) return -1;
  memcpy(name + length, dot, extension);
  name[length + extension] = '\0';
  return 0;
}

const char* next_multi_string(const char* text) {
  if (text == nullptr) return nullptr;
  const char* next = text + strlen(text) + 1;
  return next[0] != '\0' ? next : nullptr;
}
