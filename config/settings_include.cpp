// Included files: finding one in the three places it may be, reading it into the include
// store, and turning the key lines of included text into define records.
#include "config/settings_store.h"
#include "vfs/file_handle.h"
#include "host/host.h"

namespace {

SettingsDefine* define_at(int32_t offset) {
  return g_settings.defines + offset / static_cast<int32_t>(sizeof(SettingsDefine));
}

// Makes room for one more define at offset r; on failure the whole table is released.
bool reserve_define(int32_t r) {
  constexpr int32_t kRecord = sizeof(SettingsDefine);
  if (r + kRecord <= g_settings.defineCapacity) return true;
  const int64_t capacity =
      static_cast<int64_t>(g_settings.defineCapacity) + SETTINGS_DEFINE_GROWTH_BYTES;
  void* grown = nullptr;
  if (capacity <= INT32_MAX) {
    grown = g_settings.defines == nullptr
                ? mem_alloc(static_cast<size_t>(capacity))
                : mem_realloc(g_settings.defines, static_cast<size_t>(capacity));
  }
  if (grown == nullptr) {
    settings_release_defines();
    return false;
  }
  g_settings.defines = static_cast<SettingsDefine*>(grown);
  g_settings.defineCapacity = static_cast<int32_t>(capacity);
  return true;
}

// The name as written, then inside the settings folder, then inside the extra include folder.
// A joined path that does not fit is not tried.
int32_t open_included_file(const char* name) {
  int32_t handle = vfs_open(name, HOST_MODE_READ);
  if (handle != HOST_INVALID_HANDLE) return handle;
  char work[SETTINGS_FOLDER_ROOM];
  if (settings_join_path(work, sizeof work, g_settings.folder, name)) {
    handle = vfs_open(work, HOST_MODE_READ);
    if (handle != HOST_INVALID_HANDLE) return handle;
  }
  if (settings_join_path(work, sizeof work, g_settings.includeFolder, name)) {
    handle = vfs_open(work, HOST_MODE_READ);
  }
  return handle;
}

}  // namespace

void settings_read_include(const char* name, int32_t* mark) {
  const int32_t handle = open_included_file(name);
  if (handle == HOST_INVALID_HANDLE) return;  // a missing include is ignored
  int32_t start = 0;
  int32_t length = 0;
  const SettingsAppend appended = settings_append_file(handle, &g_settings.include,
                                                       &g_settings.includeUsed, &start, &length);
  vfs_close(handle);
  if (appended == SettingsAppend::Ok) {
    g_settings.includeUsed = start + length;
  } else if (appended == SettingsAppend::NoMemory) {
    // The defines pointed into the released text; this load's defines start afresh.
    settings_release_defines();
    *mark = 0;
  }
}

void settings_parse_defines(int32_t mark) {
  constexpr int32_t kRecord = sizeof(SettingsDefine);
  const int32_t start = mark > 0 ? mark : 1;  // byte 0 is reserved
  if (g_settings.include == nullptr || g_settings.includeUsed <= start) return;
  const int32_t length = g_settings.includeUsed - start;

  int32_t r = g_settings.defineUsed;
  int32_t last = r != 0 ? g_settings.lastDefine : 0;
  int32_t cursor = 0;
  for (;;) {
    if (!reserve_define(r)) return;
    int32_t name = 0;
    int32_t value = 0;
    const int kind = SettingsNextToken(g_settings.include + start, &cursor, length, &name, &value,
                                       g_settings.include);
    SettingsDefine* record = define_at(r);
    *record = SettingsDefine{};
    if (kind == SETTINGS_ITEM_END) {
      g_settings.defineUsed = r;
      g_settings.lastDefine = last;
      return;
    }
    if (kind == SETTINGS_ITEM_KEY) {
      define_at(last)->next = r;
      record->name = name;
      record->value = value;
      last = r;
      r += kRecord;
    }
  }
}
