// The process-wide settings store (text, entry table, include store, define table, folders) and
// the helpers that the loading, include and query files share. Internal to the settings reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/settings.h"

// Byte 0 of each text store is reserved and always NUL, so offset 0 reads as the empty string
// and no name or value ever starts there. Capacities and used sizes are in bytes.
struct SettingsStore {
  char* text;      // every loaded file's text with its CR LF, back to back
  int32_t textUsed;
  SettingsEntry* entries;
  int32_t entryCapacity;
  int32_t entryUsed;
  int32_t lastSection;     // table offset of the last section record
  int32_t firstIsSection;  // 1 when the record at offset 0 is a section (not a leading key)
  char* include;           // every included file's text with its CR LF
  int32_t includeUsed;
  SettingsDefine* defines;
  int32_t defineCapacity;
  int32_t defineUsed;
  int32_t lastDefine;  // table offset of the last define record
  char folder[SETTINGS_FOLDER_ROOM];                // folder of the file loaded last
  char includeFolder[SETTINGS_INCLUDE_FOLDER_ROOM]; // extra folder for included files
};

extern SettingsStore g_settings;

// Outcome of appending one open file's text to a byte store.
enum class SettingsAppend { Ok, Unreadable, NoMemory };

// Appends the whole file behind handle, then CR LF, to the byte store *store (created with its
// reserved byte when null). *used is not advanced; *start receives the offset of the new text
// and *length its length with the CR LF. Unreadable: size unknown or too large, or a short
// read; the store keeps its text. NoMemory: the store has been released (*store null, *used 0).
SettingsAppend settings_append_file(int32_t handle, char** store, int32_t* used, int32_t* start,
                                    int32_t* length);

// Release a table, or a store together with the table whose records point into it.
void settings_release_entries();
void settings_release_defines();
void settings_release_text();
void settings_release_includes();

// Names compare whole, ASCII letters folded where they stand as characters (never a trail byte
// of a double-byte character), every other byte as is. Null equals nothing.
bool settings_names_equal(const char* a, const char* b);

// Builds folder, a '\' unless it is empty or ends in one, and name in out (room bytes).
// Returns false, out emptied, when the result does not fit.
bool settings_join_path(char* out, size_t room, const char* folder, const char* name);

// Sets the settings folder from the path of the file about to be loaded. Returns false, folder
// emptied, when it does not fit in SETTINGS_FOLDER_ROOM bytes.
bool settings_set_folder(const char* path);

// Reads the file that an include directive names into the include store. *mark is the offset
// from which this load's defines are parsed; it is reset to 0 when the include store is lost.
void settings_read_include(const char* name, int32_t* mark);

// Turns the included text from *mark on into define records.
void settings_parse_defines(int32_t mark);
