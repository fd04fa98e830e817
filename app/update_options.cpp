// Parsing the updater's options: each argument is one option, "/NAME[=value]" or
// "--name[=value]", the name compared without regard to case.
#include "app/update_options.h"

#include <cstdio>
#include <cstring>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool same_word(const char* a, size_t length, const char* word) {
  if (strlen(word) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (lower(a[i]) != word[i]) return false;
  }
  return true;
}

// The value after '=', its surrounding double quotes dropped, into out (room bytes): false when
// it is empty, unbalanced in its quotes or too long.
bool take_value(const char* value, char* out, size_t room) {
  size_t length = strlen(value);
  if (length >= 2 && value[0] == '"' && value[length - 1] == '"') {
    ++value;
    length -= 2;
  }
  if (length == 0 || length >= room || memchr(value, '"', length) != nullptr) return false;
  memcpy(out, value, length);
  out[length] = '\0';
  return true;
}

int refuse(char* error, const char* why, const char* argument) {
  snprintf(error, OPTION_ERROR_ROOM, "%s: %.80s", why, argument);
  return -1;
}

}  // namespace

int UpdateOptionsParse(int count, const char* const* arguments, UpdateOptions* options, char* error) {
  *options = UpdateOptions{};
  error[0] = '\0';
  bool dirSeen = false;
  for (int i = 0; i < count; ++i) {
    const char* argument = arguments[i] != nullptr ? arguments[i] : "";
    const char* name = argument;
    if (name[0] == '/') {
      name += 1;
    } else if (name[0] == '-' && name[1] == '-') {
      name += 2;
    } else {
      return refuse(error, "not an option", argument);
    }
    const char* equals = strchr(name, '=');
    const size_t nameLength = equals != nullptr ? size_t(equals - name) : strlen(name);
    const char* value = equals != nullptr ? equals + 1 : nullptr;
    const bool slashForm = argument[0] == '/';
    if ((slashForm && same_word(name, nameLength, "s")) || same_word(name, nameLength, "silent")) {
      if (value != nullptr || options->silent) return refuse(error, "malformed option", argument);
      options->silent = true;
    } else if (same_word(name, nameLength, "dir")) {
      if (value == nullptr || dirSeen || !take_value(value, options->folder, sizeof options->folder)) {
        return refuse(error, "malformed option", argument);
      }
      dirSeen = options->hasFolder = true;
    } else if (same_word(name, nameLength, "log")) {
      if (options->log) return refuse(error, "malformed option", argument);
      if (value != nullptr && !take_value(value, options->logPath, sizeof options->logPath)) {
        return refuse(error, "malformed option", argument);
      }
      options->log = true;
    } else {
      return refuse(error, "unknown option", argument);
    }
  }
  return 0;
}
