// Loading a settings file: finding and reading it into the text store, and turning its items
// into section and key records. Included files are read as their directives are met.
#include "config/settings_store.h"
#include "vfs/file_handle.h"
#include "host/host.h"

namespace {

SettingsEntry* entry_at(int32_t offset) {
  return g_settings.entries + offset / static_cast<int32_t>(sizeof(SettingsEntry));
}

// Makes room for one more record at offset r; on failure the whole table is released.
bool reserve_entry(int32_t r) {
  constexpr int32_t kRecord = sizeof(SettingsEntry);
  if (r + kRecord <= g_settings.entryCapacity) return true;
  const int64_t capacity =
      static_cast<int64_t>(g_settings.entryCapacity) + SETTINGS_ENTRY_GROWTH_BYTES;
  void* grown = nullptr;
  if (capacity <= INT32_MAX) {
    grown = g_settings.entries == nullptr
                ? mem_alloc(static_cast<size_t>(capacity))
                : mem_realloc(g_settings.entries, static_cast<size_t>(capacity));
  }
  if (grown == nullptr) {
    settings_release_entries();
    return false;
  }
  g_settings.entries = static_cast<SettingsEntry*>(grown);
  g_settings.entryCapacity = static_cast<int32_t>(capacity);
  return true;
}

// Turns the items of the text at start (length bytes) into records after the existing ones.
void parse_entries(int32_t start, int32_t length, int32_t* includeMark) {
  constexpr int32_t kRecord = sizeof(SettingsEntry);
  int32_t r = g_settings.entryUsed;
  int32_t last = r != 0 ? g_settings.lastSection : 0;
  int32_t cursor = 0;
  for (;;) {
    if (!reserve_entry(r)) return;  // every entry is gone; this file adds none
    int32_t name = 0;
    int32_t value = 0;
    const int kind = SettingsNextToken(g_settings.text + start, &cursor, length, &name, &value,
                                       g_settings.text);
    SettingsEntry* record = entry_at(r);
    *record = SettingsEntry{};
    switch (kind) {
      case SETTINGS_ITEM_END:
        g_settings.entryUsed = r;
        g_settings.lastSection = last;
        return;
      case SETTINGS_ITEM_SECTION:
        entry_at(last)->nextSection = r;
        record->name = name;
        if (r == 0) g_settings.firstIsSection = 1;
        last = r;
        r += kRecord;
        break;
      case SETTINGS_ITEM_KEY:
        if (r != 0) entry_at(r - kRecord)->nextKey = r;
        record->name = name;
        record->value = value;
        if (r == 0) g_settings.firstIsSection = 0;
        r += kRecord;
        break;
      default:  // directive: only include means something
        if (value != 0 && settings_names_equal(g_settings.text + name, "include")) {
          settings_read_include(g_settings.text + value, includeMark);
        }
        break;
    }
  }
}

// The path as given, else the path inside the settings folder.
int32_t open_settings_file(const char* path) {
  int32_t handle = vfs_open(path, HOST_MODE_READ);
  if (handle != HOST_INVALID_HANDLE) return handle;
  char work[SETTINGS_FOLDER_ROOM];
  if (!settings_join_path(work, sizeof work, g_settings.folder, path)) return HOST_INVALID_HANDLE;
  return vfs_open(work, HOST_MODE_READ);
}

}  // namespace

int SettingsLoad(const char* path) {
  if (path == nullptr || !settings_set_folder(path)) return 0;
  const int32_t handle = open_settings_file(path);
  if (handle == HOST_INVALID_HANDLE) return 0;

  int32_t start = 0;
  int32_t length = 0;
  const SettingsAppend appended =
      settings_append_file(handle, &g_settings.text, &g_settings.textUsed, &start, &length);
  vfs_close(handle);
  if (appended == SettingsAppend::NoMemory) {
    settings_release_text();  // the records pointed into the released text
    return 0;
  }
  if (appended != SettingsAppend::Ok) return 0;

  int32_t includeMark = g_settings.include != nullptr ? g_settings.includeUsed : 0;
  parse_entries(start, length, &includeMark);
  settings_parse_defines(includeMark);
  g_settings.textUsed = start + length;
  return 1;
}
