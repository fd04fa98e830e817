// Path helpers: directory part, file part, extension (read and replaced), trailing separator
// and case-blind comparison of 8-bit paths, walked by character in the paths' code page; and
// the program's own path or a word of its command line.
#include "host/path.h"

#include <cstdint>
#include <cstring>

#include "host/host.h"

namespace {

// Position just after the last separator of path (0 when it has none).
size_t file_part_start(const char* path) { return path_dir_length(path); }

}  // namespace

bool path_is_separator(char c) {
#ifdef _WIN32
  return c == ':' || c == '\\';
#else
  return c == ':' || c == '\\' || c == '/';
#endif
}

char* path_dir_part(char* destination, const char* source) {
  if (source == nullptr || source[0] == '\0') {
    if (destination != nullptr) destination[0] = '\0';
    return nullptr;
  }
  const size_t length = file_part_start(source);
  memmove(destination, source, length);  // source and destination may be the same buffer
  destination[length] = '\0';
  return destination;
}

int path_file_part(char* destination, const char* source) {
  if (source == nullptr) {
    destination[0] = '\0';
    return 1;
  }
  const char* file = source + file_part_start(source);
  const size_t bytes = strlen(file) + 1;
  memmove(destination, file, bytes);
  return static_cast<int>(bytes);
}

int path_extension(char* destination, const char* source) {
  const char* dot = nullptr;
  if (source != nullptr) dot = strchr(source + file_part_start(source), '.');
  if (dot == nullptr) {
    destination[0] = '\0';
    return 0;
  }
  // Located before anything is written, so destination may be the source buffer.
  const size_t bytes = strlen(dot + 1) + 1;
  memmove(destination, dot + 1, bytes);
  return static_cast<int>(bytes);
}

int path_replace_extension(char* path, size_t room, const char* extension) {
  if (path == nullptr || extension == nullptr) return -1;
  const size_t length = strnlen(path, room);
  if (length == room) return -1;
  // Only the file part's dot counts: a dot in a folder name is not an extension.
  const size_t fileStart = file_part_start(path);
  size_t cut = length;
  for (size_t i = length; i > fileStart; --i) {
    if (path[i - 1] == '.') {
      cut = i - 1;
      break;
    }
  }
  const size_t extensionLength = strlen(extension);
  if (cut + extensionLength >= room) return -1;
  memcpy(path + cut, extension, extensionLength + 1);
  return 0;
}

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Bytes of the character at text (one for a byte that starts none): UTF-8 characters where
// codePage is 0 (names on a POSIX disk) or UTF-8, the code page's double-byte ones otherwise.
size_t character_length(const char* text, unsigned codePage) {
  if (codePage != 0 && codePage != 65001) {
    const size_t n = path_char_bytes(text, codePage);
    return n == 0 ? 1 : n;
  }
  const auto lead = static_cast<unsigned char>(text[0]);
  const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// Whether the characters at a and b (n bytes, the length of a's) are the same, an ASCII
// letter standing alone folded.
bool same_character(const char* a, const char* b, size_t n) {
  if (n == 1) return fold(*a) == fold(*b);
  return std::memcmp(a, b, n) == 0;
}

// Wildcard match with one backtrack point: linear in practice, no recursion.
bool matches(const char* pattern, const char* name, unsigned codePage) {
  if (strcmp(pattern, "*.*") == 0) return true;
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    const size_t step = character_length(name, codePage);
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?') {
      ++pattern;
      name += step;
    } else if (*pattern != '\0' && character_length(pattern, codePage) == step &&
               same_character(pattern, name, step)) {
      pattern += step;
      name += step;
    } else if (star != nullptr) {
      pattern = star + 1;
      resume += character_length(resume, codePage);
      name = resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool path_name_matches(const char* pattern, const char* name) { return matches(pattern, name, 0); }

bool path_name_matches_in(const char* pattern, const char* name, unsigned codePage) {
  return matches(pattern, name, codePage);
}

bool path_same_ignoring_case(const char* a, const char* b) {
  return path_compare_folded(a, b, SIZE_MAX, path_code_page()) == 0;
}

int path_add_slash(char* path, size_t room) {
  const size_t length = strnlen(path, room);
  if (length == room) return -1;  // not even terminated within its buffer
  if (length == 0) return 0;
  // The last character, found from the start: a trail byte 0x5C ends a name, not a folder.
  const unsigned codePage = path_code_page();
  size_t lastAt = 0;
  for (size_t i = 0; i < length; i += path_char_bytes(path + i, codePage)) lastAt = i;
  const char last = lastAt + 1 == length ? path[lastAt] : '\0';
  // On POSIX a path ending in '/' is already separated too.
  if (last == '\\' || (last == '/' && path_is_separator('/'))) return 0;
  if (length + 2 > room) return -1;
  path[length] = '\\';
  path[length + 1] = '\0';
  return 0;
}

void get_arg_or_module_path(const char* commandLine, int n, char* destination, size_t room) {
  if (destination == nullptr || room == 0) return;
  destination[0] = '\0';
  if (n == 0) {
    if (host_module_path(destination, room) == 0) destination[0] = '\0';
    return;
  }
  if (n < 0 || commandLine == nullptr) return;

  const char* p = commandLine;
  for (int word = 1;; ++word) {
    while (*p == ' ') ++p;
    if (*p == '\0') return;
    if (*p == '/' || *p == '-') ++p;  // an option mark is not part of the word
    const char* end = p;
    while (*end != '\0' && *end != ' ') ++end;
    if (word == n) {
      const size_t length = static_cast<size_t>(end - p);
      if (length >= room) return;  // would not fit: stays empty
      memcpy(destination, p, length);
      destination[length] = '\0';
      return;
    }
    p = end;
  }
}
