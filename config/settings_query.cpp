// Settings queries: sections, keys and defines by name and occurrence, values as numbers, and
// walking and counting sections and keys. They only read the store; every walk is bounded.
#include <cstring>

#include "config/settings_store.h"

namespace {

constexpr int32_t kRecord = sizeof(SettingsEntry);

const SettingsEntry* entry_at(int32_t offset) { return g_settings.entries + offset / kRecord; }

// A link or handle offset that names a record of the entry table.
bool is_record(int32_t offset) {
  return g_settings.entries != nullptr && offset >= 0 && offset < g_settings.entryUsed &&
         offset % kRecord == 0;
}

// A chain link that leads on: links always point forward, so a walk cannot loop.
bool follows(int32_t link, int32_t from) { return link > from && is_record(link); }

// Offset of the record named by handle, or -1.
int32_t record_of(int32_t handle) {
  if (handle <= 0) return -1;
  const int32_t offset = handle - 1;
  return is_record(offset) ? offset : -1;
}

// Text at an offset of a store; offset 0, or one outside the store, reads as empty.
const char* text_at(const char* store, int32_t used, int32_t offset) {
  if (store == nullptr || offset <= 0 || offset >= used) return "";
  return store + offset;
}

const char* entry_text(int32_t offset) {
  return text_at(g_settings.text, g_settings.textUsed, offset);
}

// The record at offset 0 is a key when the first loaded file begins with keys; it is never
// taken for a section.
bool is_section(int32_t offset) { return offset != 0 || g_settings.firstIsSection != 0; }

// text with its NUL fits in room, or there is no destination to copy to.
bool fits(const char* destination, size_t room, const char* text) {
  return destination == nullptr || std::strlen(text) < room;
}

// Copies text with its NUL when it fits (nothing to do without a destination).
bool copy_out(char* destination, size_t room, const char* text) {
  if (!fits(destination, room, text)) return false;
  if (destination != nullptr) std::memcpy(destination, text, std::strlen(text) + 1);
  return true;
}

// Offset of the occurrence-th key of the section at offset section with that name (any when
// null), or -1.
int32_t find_key(const char* name, int occurrence, int32_t section) {
  int32_t at = section;
  for (int32_t link = entry_at(section)->nextKey; follows(link, at);
       link = entry_at(link)->nextKey) {
    at = link;
    if (name == nullptr || settings_names_equal(entry_text(entry_at(at)->name), name)) {
      if (--occurrence <= 0) return at;
    }
  }
  return -1;
}

}  // namespace

int32_t SettingsFindSection(const char* name, int occurrence) {
  if (name == nullptr || !is_record(0)) return 0;
  int32_t at = 0;
  for (;;) {
    if (is_section(at) && settings_names_equal(entry_text(entry_at(at)->name), name) &&
        --occurrence <= 0) {
      return at + 1;
    }
    const int32_t link = entry_at(at)->nextSection;
    if (!follows(link, at)) return 0;
    at = link;
  }
}

const char* SettingsGetKey(const char* name, int occurrence, int32_t section, char* destination,
                           size_t room) {
  const int32_t owner = record_of(section);
  if (owner < 0) return nullptr;
  const int32_t key = find_key(name, occurrence, owner);
  if (key < 0) return nullptr;
  const char* value = entry_text(entry_at(key)->value);
  return copy_out(destination, room, value) ? value : nullptr;
}

int SettingsGetDefine(char* destination, size_t room, const char* name) {
  constexpr int32_t kDefine = sizeof(SettingsDefine);
  const SettingsDefine* defines = g_settings.defines;
  const int32_t used = g_settings.defineUsed;
  if (name == nullptr || defines == nullptr || used <= 0) return 0;
  int32_t at = 0;
  for (;;) {
    const SettingsDefine& define = defines[at / kDefine];
    if (settings_names_equal(text_at(g_settings.include, g_settings.includeUsed, define.name),
                             name)) {
      // The first define of a name wins, even when its value does not fit.
      const char* value = text_at(g_settings.include, g_settings.includeUsed, define.value);
      return copy_out(destination, room, value) ? 1 : 0;
    }
    const int32_t link = define.next;
    if (link <= at || link >= used || link % kDefine != 0) return 0;
    at = link;
  }
}

int SettingsToNumber(const char* text, int32_t* result) {
  if (text == nullptr || result == nullptr) return 0;
  if (ParseInteger(text, result) != nullptr) return 1;
  char value[SETTINGS_NUMBER_ROOM];
  if (SettingsGetDefine(value, sizeof value, text) != 0 && ParseInteger(value, result) != nullptr) {
    return 1;
  }
  return 0;
}

int SettingsGetKeyNumber(const char* name, int occurrence, int32_t section, int32_t* result) {
  char value[SETTINGS_NUMBER_ROOM];
  if (SettingsGetKey(name, occurrence, section, value, sizeof value) == nullptr) return 0;
  return SettingsToNumber(value, result);
}

int32_t SettingsFindNextSection(const char* name, int32_t after) {
  if (name == nullptr || !is_record(0)) return 0;
  int32_t at = 0;
  if (after == 0) {
    if (is_section(0) && settings_names_equal(entry_text(entry_at(0)->name), name)) return 1;
  } else {
    at = record_of(after);
    if (at < 0) return 0;
  }
  for (int32_t link = entry_at(at)->nextSection; follows(link, at);
       link = entry_at(link)->nextSection) {
    at = link;
    if (settings_names_equal(entry_text(entry_at(at)->name), name)) return at + 1;
  }
  return 0;
}

int32_t SettingsNextSection(int32_t after, char* destination, size_t room) {
  const int32_t at = record_of(after);
  if (at < 0) return 0;
  const int32_t link = entry_at(at)->nextSection;
  if (!follows(link, at)) return 0;
  return copy_out(destination, room, entry_text(entry_at(link)->name)) ? link + 1 : 0;
}

int32_t SettingsNextEntry(int32_t after, char* nameDestination, size_t nameRoom,
                          char* valueDestination, size_t valueRoom) {
  const int32_t at = record_of(after);
  if (at < 0) return 0;
  const int32_t link = entry_at(at)->nextKey;
  if (!follows(link, at)) return 0;
  const char* name = entry_text(entry_at(link)->name);
  const char* value = entry_text(entry_at(link)->value);
  // Both must fit before either is copied, so a refused key leaves both buffers as they were.
  if (!fits(nameDestination, nameRoom, name) || !fits(valueDestination, valueRoom, value)) {
    return 0;
  }
  copy_out(nameDestination, nameRoom, name);
  copy_out(valueDestination, valueRoom, value);
  return link + 1;
}

int SettingsCountSections(const char* name, int32_t from) {
  int32_t at = record_of(from);
  if (at < 0) return 0;
  int count = 0;
  for (;;) {
    if (is_section(at) &&
        (name == nullptr || settings_names_equal(entry_text(entry_at(at)->name), name))) {
      ++count;
    }
    const int32_t link = entry_at(at)->nextSection;
    if (!follows(link, at)) return count;
    at = link;
  }
}

int SettingsCountKeys(const char* name, int32_t section) {
  int32_t at = record_of(section);
  if (at < 0) return 0;
  int count = 0;
  for (int32_t link = entry_at(at)->nextKey; follows(link, at); link = entry_at(link)->nextKey) {
    at = link;
    if (name == nullptr || settings_names_equal(entry_text(entry_at(at)->name), name)) ++count;
  }
  return count;
}
