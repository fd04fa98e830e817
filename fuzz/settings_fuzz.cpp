// Fuzz target for the settings reader: the input becomes up to four settings files in the
// in-memory host that include and define each other; the first is loaded and another after it
// into the same store, which is checked after each load and then queried every way:
// sections, keys, defines, numbers, walking and counting.
#include <stdlib.h>
#include <string.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_store.h"
#include "support/host_override.h"
#include "support/memory_host.h"

namespace {

// The files the input is cut into, in order, by lines "=FILE=": the file loaded first and the
// ones it may include (two in its folder, one in the extra include folder) or load after it.
constexpr char kIncludeFolder[] = "/i";
const char* const kFiles[] = {"/s/main.ini", "/s/inc.ini", "/s/a.ini", "/i/b.ini"};
constexpr char kMarker[] = "\n=FILE=\n";

// Puts each piece of the input in the in-memory host under its name; missing pieces stay
// missing files.
void put_files(const uint8_t* data, size_t size) {
  size_t at = 0;
  for (const char* name : kFiles) {
    if (at > size) break;
    const void* found = memmem(data + at, size - at, kMarker, sizeof kMarker - 1);
    const size_t end = found != nullptr ? size_t(static_cast<const uint8_t*>(found) - data) : size;
    memory_host::put(name, std::vector<uint8_t>(data + at, data + end));
    at = found != nullptr ? end + sizeof kMarker - 1 : size + 1;
  }
}

// What every store must satisfy, whatever the files held.
void check_store() {
  const SettingsStore& s = g_settings;
  if (s.entryUsed < 0 || s.entryUsed % 16 != 0) abort();
  if (s.entryUsed > 0 && s.entryUsed + 16 > s.entryCapacity) abort();
  for (int32_t at = 0; at < s.entryUsed; at += 16) {
    const SettingsEntry& e = s.entries[at / 16];
    if (e.name <= 0 || e.name >= s.textUsed || e.value < 0 || e.value >= s.textUsed) abort();
    if (e.nextSection != 0 && (e.nextSection <= at || e.nextSection >= s.entryUsed)) abort();
    if (e.nextKey != 0 && e.nextKey != at + 16) abort();
  }
  for (int32_t at = 0; at < s.defineUsed; at += 12) {
    const SettingsDefine& d = s.defines[at / 12];
    if (d.name <= 0 || d.name >= s.includeUsed || d.value < 0 || d.value >= s.includeUsed) abort();
    if (d.next != 0 && d.next != at + 12) abort();
  }
}

// The query loops stop after this many sections, and this many keys in each; the define
// table, searched whole by a lookup, is looked up for the first keys only. Every query is
// reached well within them, and an input costs about as much as its size.
constexpr int kQueriedSections = 8;
constexpr int kQueriedKeys = 8;
constexpr int kKeysLookedUp = 2;

void query_everything() {
  char name[256];
  char value[256];
  char small[4];  // a define value that does not fit
  int32_t number = 0;
  SettingsFindSection("INI", 1);
  SettingsFindSection("", 2);
  if (g_settings.entryUsed <= 0) return;
  int sections = 0;
  for (int32_t section = 1; section != 0 && sections < kQueriedSections; ++sections) {
    const int keys = SettingsCountKeys(nullptr, section);
    SettingsCountSections(nullptr, section);
    for (int i = 1; i <= keys + 1 && i <= kQueriedKeys; ++i) {
      const char* got = SettingsGetKey(nullptr, i, section, value, sizeof value);
      if (i > kKeysLookedUp) continue;
      if (got != nullptr) {
        SettingsToNumber(got, &number);
        SettingsGetDefine(small, sizeof small, got);
      }
      SettingsGetKeyNumber(nullptr, i, section, &number);
    }
    int walked = 0;
    for (int32_t key = SettingsNextEntry(section, name, sizeof name, value, sizeof value);
         key != 0 && walked < kQueriedKeys;
         key = SettingsNextEntry(key, name, sizeof name, value, sizeof value), ++walked) {
      SettingsGetKey(name, 2, section, nullptr, 0);
      SettingsCountKeys(name, section);
    }
    const char* sectionName = g_settings.text + g_settings.entries[(section - 1) / 16].name;
    SettingsFindSection(sectionName, 2);
    SettingsFindNextSection(sectionName, section);
    SettingsCountSections(sectionName, 1);
    section = SettingsNextSection(section, name, sizeof name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  memory_host::install();
  put_files(data, size);
  SettingsSetIncludeFolder(kIncludeFolder);
  // One file, then another into the same store (its records after the first one's).
  const char* const loads[] = {kFiles[0], kFiles[2]};
  for (const char* path : loads) {
    SettingsLoad(path);
    check_store();
  }
  query_everything();  // once, over the store both loads built
  SettingsFree();
  host_restore_all();
  return 0;
}
