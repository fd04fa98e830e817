// The settings text format: the item reader shared by the entry and define parsers. Reads one
// section header, key line or directive at a time, terminating names and values in place.
#include <cstdint>

#include "config/settings.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A "//" comment begins at p.
bool slashes_at(const char* t, int32_t p, int32_t length) {
  return t[p] == '/' && p + 1 < length && t[p + 1] == '/';
}

// Index just past the next LF at or after p, or length when there is none.
int32_t past_line(const char* t, int32_t p, int32_t length) {
  while (p < length && t[p] != '\n') ++p;
  return p < length ? p + 1 : length;
}

bool ends_name(const char* t, int32_t p, int32_t length) {
  const char c = t[p];
  return c == ' ' || c == '\t' || c == '=' || c == ';' || c == '\r' || slashes_at(t, p, length);
}

bool ends_value(const char* t, int32_t p, int32_t length) {
  return t[p] == ';' || t[p] == '\r' || slashes_at(t, p, length);
}

// The six bytes after the '#' at p spell "define", ASCII case ignored.
bool is_define_word(const char* t, int32_t p, int32_t length) {
  static constexpr char kWord[] = "define";
  if (length - p <= 6) return false;
  for (int i = 0; i < 6; ++i) {
    char c = t[p + 1 + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (c != kWord[i]) return false;
  }
  return true;
}

// Reads a key line (name, separators, value) from p. Sets the name and value offsets relative
// to origin; returns the index past the line, or -1 when the text ends before the line does.
int32_t read_key_line(char* t, int32_t p, int32_t length, int32_t origin, int32_t* name,
                      int32_t* value) {
  int32_t nameEnd = p;
  while (nameEnd < length && !ends_name(t, nameEnd, length)) ++nameEnd;
  if (nameEnd == length) return -1;

  int32_t valueStart = nameEnd;
  while (valueStart < length &&
         (is_blank(t[valueStart]) || t[valueStart] == '=')) {
    ++valueStart;
  }
  if (valueStart == length) return -1;

  int32_t lineRest = valueStart;
  int32_t valueEnd = -1;
  if (!ends_value(t, valueStart, length)) {
    int32_t stop = valueStart;
    while (stop < length && !ends_value(t, stop, length)) ++stop;
    if (stop == length) return -1;
    valueEnd = stop;
    // The value's first byte is not blank, so trimming stops after it.
    while (is_blank(t[valueEnd - 1])) --valueEnd;
    lineRest = stop;
  }

  t[nameEnd] = '\0';
  *name = origin + p;
  if (valueEnd >= 0) {
    t[valueEnd] = '\0';
    *value = origin + valueStart;
  }
  return past_line(t, lineRest, length);
}

// Reads a section header whose '[' is at p; -1 when the text ends before the name does.
int32_t read_section(char* t, int32_t p, int32_t length, int32_t origin, int32_t* name) {
  int32_t end = p + 1;
  while (end < length) {
    const char c = t[end];
    if (c == ']' || c == '=' || c == ';' || c == '\r' || slashes_at(t, end, length)) break;
    ++end;
  }
  if (end == length) return -1;
  t[end] = '\0';
  *name = origin + p + 1;
  return past_line(t, end, length);
}

}  // namespace

int SettingsNextToken(char* text, int32_t* cursor, int32_t length, int32_t* name,
                      int32_t* value, const char* base) {
  *name = 0;
  *value = 0;
  if (text == nullptr || length <= 0) return SETTINGS_ITEM_END;
  const int32_t origin = static_cast<int32_t>(text - base);
  int32_t p = *cursor < 0 ? length : *cursor;

  while (p < length) {
    const char c = text[p];
    if (is_blank(c) || c == '\r' || c == '\n') {
      ++p;
      continue;
    }
    if (c == ';' || slashes_at(text, p, length)) {
      p = past_line(text, p, length);
      continue;
    }

    int32_t next = -1;
    int kind = SETTINGS_ITEM_KEY;
    if (c == '[') {
      next = read_section(text, p, length, origin, name);
      kind = SETTINGS_ITEM_SECTION;
    } else if (c == '#' && is_define_word(text, p, length)) {
      // A define line is read as the key line that follows its word; a word that ends the
      // line yields nothing and reading goes on with the next line.
      int32_t w = p + 7;
      while (w < length && !is_blank(text[w]) && text[w] != '\r' && text[w] != '\n' &&
             text[w] != '=' && text[w] != ';') {
        ++w;
      }
      while (w < length && is_blank(text[w])) ++w;
      if (w == length) break;
      if (text[w] == '\r' || text[w] == '\n') {
        p = w;
        continue;
      }
      next = read_key_line(text, w, length, origin, name, value);
    } else if (c == '#') {
      // Any other directive: its name and argument read like a key's name and value.
      next = read_key_line(text, p + 1, length, origin, name, value);
      kind = SETTINGS_ITEM_DIRECTIVE;
    } else {
      next = read_key_line(text, p, length, origin, name, value);
    }
    if (next < 0) break;  // text without its closing CR: nothing more to read
    *cursor = next;
    return kind;
  }
  *name = 0;
  *value = 0;
  return SETTINGS_ITEM_END;
}
