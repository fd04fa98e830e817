// The settings store itself: its global state, appending a file's text to a byte store, and
// releasing the stores and tables (SettingsFree and the out-of-memory paths).
#include "config/settings_store.h"

#include <cstdint>
#include <cstring>

#include "vfs/file_handle.h"
#include "host/host.h"
#include "host/path.h"

SettingsStore g_settings{};

SettingsAppend settings_append_file(int32_t handle, char** store, int32_t* used, int32_t* start,
                                    int32_t* length) {
  const int32_t size = vfs_size(handle);
  if (size < 0) return SettingsAppend::Unreadable;
  // A new store begins with its reserved byte; the total must stay a 32-bit offset.
  const int64_t base = *store != nullptr ? *used : 1;
  const int64_t total = base + static_cast<int64_t>(size) + 2;
  if (total > INT32_MAX) return SettingsAppend::Unreadable;

  char* grown = *store == nullptr
                    ? static_cast<char*>(mem_alloc(static_cast<size_t>(total)))
                    : static_cast<char*>(mem_realloc(*store, static_cast<size_t>(total)));
  if (grown == nullptr) {
    mem_free(*store);
    *store = nullptr;
    *used = 0;
    return SettingsAppend::NoMemory;
  }
  if (*store == nullptr) {
    grown[0] = '\0';
    *used = 1;
  }
  *store = grown;

  const int32_t at = static_cast<int32_t>(base);
  // Only a whole file is parsed: a short read leaves bytes that were never read.
  if (size > 0 && vfs_read(handle, grown + at, size) != size) return SettingsAppend::Unreadable;
  grown[at + size] = '\r';
  grown[at + size + 1] = '\n';
  *start = at;
  *length = size + 2;
  return SettingsAppend::Ok;
}

void settings_release_entries() {
  mem_free(g_settings.entries);
  g_settings.entries = nullptr;
  g_settings.entryCapacity = 0;
  g_settings.entryUsed = 0;
  g_settings.lastSection = 0;
  g_settings.firstIsSection = 0;
}

void settings_release_defines() {
  mem_free(g_settings.defines);
  g_settings.defines = nullptr;
  g_settings.defineCapacity = 0;
  g_settings.defineUsed = 0;
  g_settings.lastDefine = 0;
}

// The entry records point into the text store, so they go with it.
void settings_release_text() {
  mem_free(g_settings.text);
  g_settings.text = nullptr;
  g_settings.textUsed = 0;
  settings_release_entries();
}

// The define records point into the include store, so they go with it.
void settings_release_includes() {
  mem_free(g_settings.include);
  g_settings.include = nullptr;
  g_settings.includeUsed = 0;
  settings_release_defines();
}

void SettingsFree() {
  settings_release_text();
  settings_release_includes();
}

bool settings_names_equal(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  return path_compare_folded(a, b, SIZE_MAX, path_code_page()) == 0;
}
