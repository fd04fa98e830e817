// Test fixture for the settings reader: every process-wide table reset around each test,
// a scratch folder for settings files, and dumps of the store as compact golden text.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_store.h"
#include "support/fault_injection.h"
#include "support/reset_state.h"
#include "support/temp_dir.h"
#include "host/host.h"

// Shows CR, LF and NUL visibly inside golden text.
inline std::string settings_visible(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

inline std::string settings_entry_text(int32_t offset) {
  return offset == 0 ? std::string() : std::string(g_settings.text + offset);
}

// A key as "name=value", or "name" alone when it has no value.
inline std::string settings_key_text(const SettingsEntry& e) {
  std::string out = settings_entry_text(e.name);
  if (e.value != 0) out += "=" + settings_entry_text(e.value);
  return settings_visible(out);
}

inline const SettingsEntry& settings_entry(int32_t offset) {
  return g_settings.entries[offset / 16];
}

// The store as the queries see it, following the links: "[section] key=value key | [next] ...".
// Keys before the first section header come first.
inline std::string settings_dump() {
  std::string out;
  if (g_settings.entryUsed <= 0) return out;
  int32_t at = 0;
  for (;;) {
    const SettingsEntry& record = settings_entry(at);
    if (!out.empty()) out += " | ";
    if (at == 0 && g_settings.firstIsSection == 0) out += settings_key_text(record);
    else out += "[" + settings_visible(settings_entry_text(record.name)) + "]";
    for (int32_t k = record.nextKey; k != 0; k = settings_entry(k).nextKey) {
      out += " " + settings_key_text(settings_entry(k));
    }
    if (record.nextSection == 0) return out;
    at = record.nextSection;
  }
}

// The define chain: "name=value name2=value2".
inline std::string settings_dump_defines() {
  std::string out;
  if (g_settings.defineUsed <= 0) return out;
  for (int32_t at = 0;;) {
    const SettingsDefine& d = g_settings.defines[at / 12];
    if (!out.empty()) out += " ";
    out += d.name == 0 ? std::string() : std::string(g_settings.include + d.name);
    if (d.value != 0) out += "=" + std::string(g_settings.include + d.value);
    if (d.next == 0) return out;
    at = d.next;
  }
}

// One failed heap call of a sweep: the nth allocation or reallocation, alone or with every
// later one (a heap that stays exhausted).
struct HeapFault {
  HostOp op;
  int nth;
  bool onwards;
};

// Runs prepare, then step with no failure, counting step's allocations and reallocations; then
// once per such call and way of failing it: prepare, step with that call failing, and check
// with step's result. What a step may do under any failure is checked, never which call fails.
template <typename Prepare, typename Step, typename Check>
void sweep_heap_failures(Prepare prepare, Step step, Check check) {
  prepare();
  int allocs = 0, reallocs = 0;
  {
    HostFaults counting;
    ASSERT_EQ(step(), 1);
    allocs = counting.calls(HostOp::Alloc);
    reallocs = counting.calls(HostOp::Realloc);
  }
  ASSERT_GT(allocs + reallocs, 0);
  for (const HostOp op : {HostOp::Alloc, HostOp::Realloc}) {
    for (int nth = 1; nth <= (op == HostOp::Alloc ? allocs : reallocs); ++nth) {
      for (const bool onwards : {false, true}) {
        SCOPED_TRACE(testing::Message() << (op == HostOp::Alloc ? "alloc " : "realloc ") << nth
                                        << (onwards ? " and later" : ""));
        prepare();
        int result = 0;
        {
          HostFaults faults;
          onwards ? faults.fail_from(op, nth) : faults.fail(op, nth);
          result = step();
        }
        check(result, HeapFault{op, nth, onwards});
      }
    }
  }
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }

  static void reset() { reset_process_state(); }

  // Writes a file of the scratch folder and returns its path.
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = dir_.join(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Writes text as a settings file and loads it.
  int load(const std::string& text, const std::string& name = "main.ini") {
    return SettingsLoad(write(name, text).c_str());
  }

  TempDir dir_;
};
