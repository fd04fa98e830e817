// The update journal's record: encoding and checked decoding, the paths it names, and reading,
// creating, rewriting and removing the journal file in the game folder.
#include "app/update_journal.h"

#include <cstdio>
#include <cstring>

#include "app/game_path.h"
#include "archive/checksum.h"
#include "archive/pak_format.h"

namespace {

constexpr uint8_t kMagic[4] = {'V', 'U', 'J', '1'};
constexpr uint16_t kVersion = 1;
constexpr uint8_t kHadOld = 0x01;

uint32_t check_of(const uint8_t* bytes) { return pak_crc32(0, bytes, JOURNAL_CHECK_AT); }

bool side_name(char* out, const char* target, const char* mark, int digit) {
  const int n = snprintf(out, WORK_PATH_ROOM, "%s.~%s%d", target, mark, digit);
  return n > 0 && size_t(n) < WORK_PATH_ROOM;
}

bool all_zero(const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

}  // namespace

void JournalEncode(const UpdateJournal& journal, uint8_t out[JOURNAL_SIZE]) {
  memset(out, 0, JOURNAL_SIZE);
  memcpy(out, kMagic, sizeof kMagic);
  out[4] = uint8_t(kVersion & 0xFF);
  out[5] = uint8_t(kVersion >> 8);
  out[6] = journal.state;
  out[7] = journal.count;
  for (int i = 0; i < journal.count && i < JOURNAL_MAX_FILES; ++i) {
    const JournalEntry& e = journal.entries[i];
    uint8_t* p = out + JOURNAL_ENTRIES_AT + size_t(i) * JOURNAL_ENTRY_SIZE;
    p[0] = e.file;
    p[1] = e.hadOld ? kHadOld : 0;
    p[2] = e.stagedDigit;
    p[3] = e.backupDigit;
    store_le32(p + 4, e.oldAttributes);
    store_le32(p + 8, e.oldContent.size);
    store_le32(p + 12, e.oldContent.crc);
    store_le32(p + 16, e.newContent.size);
    store_le32(p + 20, e.newContent.crc);
  }
  store_le32(out + JOURNAL_CHECK_AT, check_of(out));
}

bool JournalDecode(const uint8_t* bytes, size_t length, UpdateJournal* journal) {
  if (bytes == nullptr || length != JOURNAL_SIZE) return false;
  if (memcmp(bytes, kMagic, sizeof kMagic) != 0) return false;
  if ((bytes[4] | (bytes[5] << 8)) != kVersion) return false;
  if (load_le32(bytes + JOURNAL_CHECK_AT) != check_of(bytes)) return false;
  const uint8_t state = bytes[6];
  const uint8_t count = bytes[7];
  if (state < JOURNAL_STAGING || state > JOURNAL_COMMITTED) return false;
  if (count < 1 || count > JOURNAL_MAX_FILES) return false;
  UpdateJournal j{};
  j.state = JournalState(state);
  j.count = count;
  bool seen[JOURNAL_MAX_FILES] = {};
  for (int i = 0; i < JOURNAL_MAX_FILES; ++i) {
    const uint8_t* p = bytes + JOURNAL_ENTRIES_AT + size_t(i) * JOURNAL_ENTRY_SIZE;
    if (i >= count) {
      if (!all_zero(p, JOURNAL_ENTRY_SIZE)) return false;
      continue;
    }
    JournalEntry& e = j.entries[i];
    if (p[0] >= JOURNAL_MAX_FILES || seen[p[0]] || (p[1] & ~kHadOld) != 0) return false;
    if (p[2] >= SIDE_NAME_DIGITS || p[3] >= SIDE_NAME_DIGITS) return false;
    seen[p[0]] = true;
    e.file = p[0];
    e.hadOld = (p[1] & kHadOld) != 0;
    e.stagedDigit = p[2];
    e.backupDigit = p[3];
    e.oldAttributes = load_le32(p + 4);
    e.oldContent = ContentId{load_le32(p + 8), load_le32(p + 12)};
    e.newContent = ContentId{load_le32(p + 16), load_le32(p + 20)};
  }
  *journal = j;
  return true;
}

bool JournalPaths(const char* folder, const JournalEntry& entry, char* target, char* staged,
                  char* backup) {
  if (entry.file >= JOURNAL_MAX_FILES) return false;
  return BuildGamePath(target, WORK_PATH_ROOM, folder, GAME_FILES[entry.file]) == 0 &&
         side_name(staged, target, STAGED_MARK, entry.stagedDigit) &&
         side_name(backup, target, BACKUP_MARK, entry.backupDigit);
}

int JournalRead(const char* folder, UpdateJournal* journal) {
  char path[WORK_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, JOURNAL_NAME) != 0) return -1;
  const int there = host_lookup(path, nullptr);
  if (there == HOST_ABSENT) return 0;
  if (there != HOST_FOUND) return -1;
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  // One block, and one byte more to tell a longer file from the record.
  uint8_t bytes[JOURNAL_SIZE + 1];
  const int32_t size = host_size(file);
  const int32_t got = size < 0 ? -1 : host_read(file, bytes, int32_t(sizeof bytes));
  host_close(file);
  // A read that came up short of what the file holds is a failed read, not a short journal.
  if (got < 0 || got != (size < int32_t(sizeof bytes) ? size : int32_t(sizeof bytes))) return -1;
  if (size_t(got) < JOURNAL_SIZE || (size_t(got) == JOURNAL_SIZE && all_zero(bytes, JOURNAL_SIZE)))
    return JOURNAL_UNFINISHED;
  return JournalDecode(bytes, size_t(got), journal) ? 1 : -1;
}

HostHandle JournalCreate(const char* folder, const UpdateJournal& journal) {
  char path[WORK_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, JOURNAL_NAME) != 0) return HOST_INVALID_HANDLE;
  const HostHandle file = host_create(path, HOST_CREATE_NEW);
  if (file == HOST_INVALID_HANDLE) return HOST_INVALID_HANDLE;
  if (JournalRewrite(file, journal) != 0 || host_sync_folder(FolderOrCurrent(folder)) != 0) {
    host_close(file);
    host_delete(path);
    return HOST_INVALID_HANDLE;
  }
  return file;
}

int JournalRewrite(HostHandle handle, const UpdateJournal& journal) {
  uint8_t bytes[JOURNAL_SIZE];
  JournalEncode(journal, bytes);
  if (host_seek(handle, 0, HOST_SEEK_BEGIN) != 0) return -1;
  if (host_write(handle, bytes, int32_t(sizeof bytes)) != int32_t(sizeof bytes)) return -1;
  return host_flush(handle);
}

int JournalRemove(const char* folder) {
  char path[WORK_PATH_ROOM];
  if (BuildGamePath(path, sizeof path, folder, JOURNAL_NAME) != 0) return -1;
  // Tried twice: a scanner may hold it for a moment.
  if (host_force_delete(path) != 0 && host_force_delete(path) != 0) return -1;
  host_sync_folder(FolderOrCurrent(folder));  // the journal is gone either way; this only hurries it to disk
  return 0;
}
