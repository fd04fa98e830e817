// The update's journal "VelmorUpdate.journal" in the game folder: what a run is about to change,
// written and flushed before its first change and rewritten (one block, in place) as the run
// moves on, so that the next run puts right exactly what an interrupted one did.
//
//   0   magic[4]    "VUJ1"
//   4   version u16 1
//   6   state   u8  JOURNAL_STAGING, JOURNAL_SWAPPING or JOURNAL_COMMITTED
//   7   count   u8  files changed, 1 to 3
//   8   entries[3], 24 bytes each (only the first count are used; the rest are zero):
//         0  file          u8   0 "Velmor.EXE", 1 "Update.PAK", 2 "INSTALL.DAT"
//         1  flags         u8   bit 0: the file existed before the run
//         2  stagedDigit   u8   its new copy is "<file>.~new<digit>"
//         3  backupDigit   u8   its backup is "<file>.~old<digit>"
//         4  oldAttributes u32  the file's attributes before the run
//         8  oldSize u32, 12 oldCrc u32   the old content (size and CRC-32)
//         16 newSize u32, 20 newCrc u32   the new content (known from JOURNAL_SWAPPING on)
//   80  check   u32 CRC-32 of bytes 0 to 79
// Entries are in the order the files are put in place: the last one is the update pack.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/app_state.h"
#include "host/host.h"

constexpr char JOURNAL_NAME[] = "VelmorUpdate.journal";
constexpr size_t JOURNAL_SIZE = 84;
constexpr int JOURNAL_MAX_FILES = 3;
constexpr size_t JOURNAL_ENTRY_SIZE = 24;
constexpr size_t JOURNAL_ENTRIES_AT = 8;
constexpr size_t JOURNAL_CHECK_AT = JOURNAL_ENTRIES_AT + JOURNAL_MAX_FILES * JOURNAL_ENTRY_SIZE;
static_assert(JOURNAL_CHECK_AT + 4 == JOURNAL_SIZE, "journal layout");

// Names beside a game file: "<name>.~new<digit>" for its new copy, "<name>.~old<digit>" for its
// backup.
constexpr char STAGED_MARK[] = "new";
constexpr char BACKUP_MARK[] = "old";
constexpr int SIDE_NAME_DIGITS = 10;

enum JournalState : uint8_t {
  JOURNAL_STAGING = 1,    // new copies being written; no game file touched
  JOURNAL_SWAPPING = 2,   // backups being taken and new copies put in place: undone if cut
  JOURNAL_COMMITTED = 3,  // every new copy in place: finished if cut
};

// What identifies a file's content.
struct ContentId {
  uint32_t size;
  uint32_t crc;
  bool operator==(const ContentId&) const = default;
};

struct JournalEntry {
  uint8_t file;  // index into GAME_FILES
  bool hadOld;
  uint8_t stagedDigit;
  uint8_t backupDigit;
  uint32_t oldAttributes;
  ContentId oldContent;
  ContentId newContent;
};

struct UpdateJournal {
  JournalState state;
  uint8_t count;
  JournalEntry entries[JOURNAL_MAX_FILES];
};

constexpr int GAME_FILE_EXE = 0;
constexpr int GAME_FILE_PACK = 1;
constexpr int GAME_FILE_RECORD = 2;
constexpr const char* GAME_FILES[] = {GAME_EXE_NAME, GAME_PACK_NAME, INSTALL_RECORD_NAME};

void JournalEncode(const UpdateJournal& journal, uint8_t out[JOURNAL_SIZE]);
// True for a well-formed record: magic, version, check value, state, a count of 1 to 3, known
// and distinct files, digits below 10, unused entries zero.
bool JournalDecode(const uint8_t* bytes, size_t length, UpdateJournal* journal);

// The paths of one entry's game file, new copy and backup in folder (each WORK_PATH_ROOM
// bytes); false when one does not fit.
bool JournalPaths(const char* folder, const JournalEntry& entry, char* target, char* staged,
                  char* backup);

// What JournalRead found: a journal shorter than its record, or zeros where the record was to
// be, is one whose first write never finished. The run that made it changed nothing else (its
// first change waits for the journal on disk), so it only has to go.
constexpr int JOURNAL_UNFINISHED = 2;
// Reads the folder's journal: 1 with journal filled, 0 when there is none, JOURNAL_UNFINISHED,
// or -1 when it could not be read or is damaged.
int JournalRead(const char* folder, UpdateJournal* journal);
// Makes the folder's journal (there must be none) and puts it and its name on disk; the handle
// stays open for JournalRewrite. HOST_INVALID_HANDLE on failure, with no journal left.
HostHandle JournalCreate(const char* folder, const UpdateJournal& journal);
// Writes the journal over the open one in one block and flushes it: 0 or -1.
int JournalRewrite(HostHandle handle, const UpdateJournal& journal);
// Removes the folder's journal and puts the removal on disk: 0 or -1.
int JournalRemove(const char* folder);
