// The settings store itself: its global state, appending a file's text to a byte store, and
// releasing the stores and tables (SettingsFree and the out-of-memory paths).
#include "config/settings_store.h"

#include <cstdint>
#include <cstring>

#include "vfs/file_handle.h"
#include "host/host.h"
#include "host/path.h"

SettingsStore g_settings{};

namespace {

// The store's first read is at most this much: a size the file's directory claims is trusted
// only as far as bytes arrive, and the store grows with them.
constexpr int64_t kFirstRead = 64 * 1024;

// Grows the store to room bytes (its reserved byte made when it is new); false, the store
// released, when there is no memory.
bool grow_store(char** store, int32_t* used, int64_t room) {
  const bool fresh = *store == nullptr;
  char* grown = fresh ? static_cast<char*>(mem_alloc(static_cast<size_t>(room)))
                      : static_cast<char*>(mem_realloc(*store, static_cast<size_t>(room)));
  if (grown == nullptr) {
    mem_free(*store);
    *store = nullptr;
    *used = 0;
    return false;
  }
  if (fresh) {
    grown[0] = '\0';
    *used = 1;
  }
  *store = grown;
  return true;
}

}  // namespace

SettingsAppend settings_append_file(int32_t handle, char** store, int32_t* used, int32_t* start,
                                    int32_t* length) {
  const int32_t size = vfs_size(handle);
  if (size < 0) return SettingsAppend::Unreadable;
  // A new store begins with its reserved byte; the total must stay a 32-bit offset.
  const int64_t base = *store != nullptr ? *used : 1;
  const int64_t total = base + static_cast<int64_t>(size) + 2;
  if (total > INT32_MAX) return SettingsAppend::Unreadable;

  // Read in steps that double, each into room just made for it: a file that gives fewer bytes
  // than it claims is refused once they stop, never after a request for all it claimed.
  int64_t got = 0;
  int64_t step = size < kFirstRead ? size : kFirstRead;
  for (;;) {
    const int64_t room = base + got + step + (got + step == size ? 2 : 0);
    if (!grow_store(store, used, room < total ? room : total)) return SettingsAppend::NoMemory;
    if (got == size) break;
    const int32_t n = vfs_read(handle, *store + base + got, static_cast<int32_t>(step));
    // Only a whole file is parsed: a short read leaves bytes that were never read.
    if (n != step) return SettingsAppend::Unreadable;
    got += n;
    const int64_t left = size - got;
    step = left < 2 * step ? left : 2 * step;
  }
  const int32_t at = static_cast<int32_t>(base);
  (*store)[at + size] = '\r';
  (*store)[at + size + 1] = '\n';
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
