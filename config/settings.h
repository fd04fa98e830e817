// Settings text reader: loads sectioned settings files (sections, keys, comments, `#include` and
// `#define`) into one process-wide store, and answers section, key and number queries on it.
// Results: 1 or 0, handles or 0, pointers or null; copies into caller buffers are bounded.
#pragma once

#include <cstddef>
#include <cstdint>

// One section or key. Records hold offsets only, so the text and the table may move as they
// grow: text offsets into the text store (0 reads as the empty string), links into the table.
struct SettingsEntry {
  int32_t name;         // text store offset of the section or key name
  int32_t value;        // text store offset of the key's value; 0 = none (always 0 for a section)
  int32_t nextSection;  // table offset of the next section record; 0 = none
  int32_t nextKey;      // table offset of the record directly after this one when it is a key
};
static_assert(sizeof(SettingsEntry) == 16);

// One define from an included file: offsets into the include store, link within its table.
struct SettingsDefine {
  int32_t name;   // include store offset of the name
  int32_t value;  // include store offset of the value; 0 = none (reads as the empty string)
  int32_t next;   // table offset of the next define; 0 = none
};
static_assert(sizeof(SettingsDefine) == 12);

// Both tables grow this many records at a time.
constexpr int32_t SETTINGS_TABLE_GROWTH = 60;
constexpr int32_t SETTINGS_ENTRY_GROWTH_BYTES =
    SETTINGS_TABLE_GROWTH * static_cast<int32_t>(sizeof(SettingsEntry));  // 960
constexpr int32_t SETTINGS_DEFINE_GROWTH_BYTES =
    SETTINGS_TABLE_GROWTH * static_cast<int32_t>(sizeof(SettingsDefine));  // 720

// Buffer sizes, terminator included: the settings folder and the buffer in which open attempts
// are built, the extra include folder, and the buffers in which values are read as numbers.
// Longer paths and values are refused, never cut.
constexpr size_t SETTINGS_FOLDER_ROOM = 128;
constexpr size_t SETTINGS_INCLUDE_FOLDER_ROOM = 64;
constexpr size_t SETTINGS_NUMBER_ROOM = 128;

// Item kinds returned by SettingsNextToken.
constexpr int SETTINGS_ITEM_END = 0;
constexpr int SETTINGS_ITEM_SECTION = 1;
constexpr int SETTINGS_ITEM_KEY = 2;  // also a define line
constexpr int SETTINGS_ITEM_DIRECTIVE = 3;

// ---- Loading ----

// Reads the settings file at path (a disk path, or an archive member with a mount letter) and
// adds its sections and keys to the store; `#include`d files add defines. Returns 1 when the
// file was read and its text stored, 0 when it cannot be opened, read whole, or its text
// cannot be stored (the text store then empties). Records are a later step: when the entry or
// define table cannot grow, that table is emptied (every entry dropped) and the load still
// returns 1, since the file itself was read and kept.
int SettingsLoad(const char* path);

// Empties the store. The settings folder and the extra include folder keep their content.
void SettingsFree();

// Sets the extra folder in which included files are looked for last. Returns 1, or 0 (folder
// unchanged) when the path does not fit in SETTINGS_INCLUDE_FOLDER_ROOM bytes.
int SettingsSetIncludeFolder(const char* path);

// Reads the next item of one file's text (length bytes, CR LF already appended) from *cursor
// on, writing NUL terminators in place. name and value receive offsets from base (0 = none).
// Returns the item kind; at the end of the text the cursor is left where it was.
int SettingsNextToken(char* text, int32_t* cursor, int32_t length, int32_t* name,
                      int32_t* value, const char* base);

// ---- Queries ----
// An entry handle is a record's table offset plus one; 0 means none. A handle that does not
// name a record of the store finds nothing. Destinations may be null where noted; a value that
// does not fit in its destination's room is not copied and the query finds nothing.

// Handle of the occurrence-th section (1 = first; below 1 acts as 1) named name, or 0.
int32_t SettingsFindSection(const char* name, int occurrence);

// The occurrence-th key named name (any key when name is null) of the section: a pointer to its
// value inside the store (valid until the next load or free), copied into destination when one
// is given. null when not found; the destination is then left as it was.
const char* SettingsGetKey(const char* name, int occurrence, int32_t section, char* destination,
                           size_t room);

// Copies the value of the first define named name into destination. Returns 1, or 0.
int SettingsGetDefine(char* destination, size_t room, const char* name);

// text as an integer, or else the value of the define that text names. Returns 1, or 0.
int SettingsToNumber(const char* text, int32_t* result);

// The key's value (as SettingsGetKey finds it) as a number (as SettingsToNumber reads it).
int SettingsGetKeyNumber(const char* name, int occurrence, int32_t section, int32_t* result);

// Handle of the first section named name after the record of handle after (0: from the first
// record on, that record included). 0 when there is none.
int32_t SettingsFindNextSection(const char* name, int32_t after);

// Handle of the section after the record of handle after, its name copied into destination
// (may be null). 0 when there is none.
int32_t SettingsNextSection(int32_t after, char* destination, size_t room);

// Handle of the key directly after the record of handle after, with its name and value copied
// out (either destination may be null). 0 when there is none.
int32_t SettingsNextEntry(int32_t after, char* nameDestination, size_t nameRoom,
                          char* valueDestination, size_t valueRoom);

// Number of sections in the section chain from the record of handle from on (that record
// included), only those named name when name is given.
int SettingsCountSections(const char* name, int32_t from);

// Number of keys of the section, only those named name when name is given.
int SettingsCountKeys(const char* name, int32_t section);

// ---- Integers ----

// Reads the whole text as a decimal or 0x-hexadecimal integer, with leading spaces and one
// optional '-' (negate) or '~' (complement); 32-bit wrap-around. On success sets *result and
// returns the address one past the text's terminating NUL; on failure returns null.
const char* ParseInteger(const char* text, int32_t* result);

// Writes value as text in base 2 to 16 (lower-case digits) into destination (room bytes).
// size: top bit forces a '+' on values that are not negative; the other bits give the largest
// number of characters (0 = no limit), the fill byte (0 = none) padding the digits up to it.
// Returns the characters written, or -1 (destination emptied when room allows) for a base out
// of range or a text that does not fit in room.
int FormatInteger(int32_t value, char* destination, size_t room, int base, int32_t size,
                  char fill);
