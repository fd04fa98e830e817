// Fuzz target for the settings reader: the input becomes a settings file (and, after a
// "\n=INC=\n" line, the file "inc.ini" beside it), which is loaded twice and then queried
// every way: sections, keys, defines, numbers, walking and counting.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "config/settings_store.h"
#include "fuzz_file.h"

namespace {

const std::string& scratch_folder() { return fuzz_scratch_folder("settings-fuzz"); }

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

void query_everything() {
  char name[256];
  char value[256];
  int32_t number = 0;
  SettingsFindSection("INI", 1);
  SettingsFindSection("", 2);
  if (g_settings.entryUsed <= 0) return;
  int sections = 0;
  for (int32_t section = 1; section != 0 && sections < 64; ++sections) {
    const int keys = SettingsCountKeys(nullptr, section);
    SettingsCountSections(nullptr, section);
    for (int i = 1; i <= keys + 1 && i < 64; ++i) {
      const char* got = SettingsGetKey(nullptr, i, section, value, sizeof value);
      if (got != nullptr) {
        SettingsToNumber(got, &number);
        SettingsGetDefine(value, sizeof value, got);
      }
      SettingsGetKeyNumber(nullptr, i, section, &number);
    }
    for (int32_t key = SettingsNextEntry(section, name, sizeof name, value, sizeof value);
         key != 0; key = SettingsNextEntry(key, name, sizeof name, value, sizeof value)) {
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
  static const char kMarker[] = "\n=INC=\n";
  const std::string main = scratch_folder() + "/main.ini";
  const std::string include = scratch_folder() + "/inc.ini";
  const uint8_t* split = static_cast<const uint8_t*>(
      memmem(data, size, kMarker, sizeof kMarker - 1));
  const size_t mainSize = split != nullptr ? static_cast<size_t>(split - data) : size;
  if (!fuzz_write_file(main, data, mainSize)) return 0;
  if (split != nullptr) {
    const size_t skip = mainSize + sizeof kMarker - 1;
    if (!fuzz_write_file(include, data + skip, size - skip)) return 0;
  } else {
    remove(include.c_str());
  }

  SettingsSetIncludeFolder(scratch_folder().c_str());
  for (int load = 0; load < 2; ++load) {
    SettingsLoad(main.c_str());
    check_store();
    query_everything();
  }
  SettingsFree();
  return 0;
}
