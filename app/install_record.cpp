// The install record: adds "Update.PAK" to the record's name list. The new record is the old
// one with a fresh copy of the list, the name appended, at its end; it is written whole beside
// the old file and then takes its place.
#include "app/install_record.h"

#include <cstdio>
#include <cstring>

#include "archive/pak_format.h"
#include "app/updater.h"
#include "host/host.h"
#include "host/path.h"

namespace {

// ASCII letters folded where they stand as characters, every other byte as it is.
bool same_name(const char* a, const char* b) { return path_same_ignoring_case(a, b); }

// Reads the whole record into a buffer with room after it for the record's growth. -1 on a host
// failure; 0 when the record is too large to grow.
int read_record(const char* path, uint8_t** buffer, size_t* length) {
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  const int32_t size = host_size(file);
  int result = -1;
  if (size >= 0 && int64_t(size) + INSTALL_GROWTH_RESERVE > HOST_MAX_FILE_SIZE) {
    result = 0;  // the grown record could not be written
  } else if (size >= 0) {
    const size_t room = size_t(size) + install_record_growth(size_t(size));
    auto* bytes = static_cast<uint8_t*>(mem_alloc(room));
    if (bytes != nullptr && (size == 0 || host_read(file, bytes, size) == size)) {
      *buffer = bytes;
      *length = size_t(size);
      result = 1;
    } else {
      mem_free(bytes);
    }
  }
  host_close(file);
  return result;
}

// The new record written whole and flushed beside the old one, under a name no file had.
bool write_beside(const char* path, const uint8_t* bytes, size_t length, char* side, size_t room) {
  for (int digit = 0; digit < 10; ++digit) {
    const int n = snprintf(side, room, "%s.~new%d", path, digit);
    if (n <= 0 || size_t(n) >= room) return false;
    const HostHandle file = host_create(side, HOST_CREATE_NEW);
    if (file == HOST_INVALID_HANDLE) continue;
    const bool ok = host_write(file, bytes, int32_t(length)) == int32_t(length) &&
                    host_flush(file) == 0;
    if (host_close(file) == 0 && ok) return true;
    host_delete(side);
    return false;
  }
  return false;
}

}  // namespace

int InstallRecordBuild(uint8_t* buffer, size_t oldLength, size_t* newLength) {
  if (oldLength < INSTALL_RECORD_MIN_SIZE) return 0;
  const uint32_t listOffset = load_le32(buffer + INSTALL_LIST_OFFSET_AT);
  const int32_t count = int32_t(load_le32(buffer + INSTALL_NAME_COUNT_AT));
  // A negative count would come out of the append still counting no names.
  if (count < 0) return 0;

  int64_t reserve = INSTALL_GROWTH_RESERVE;
  size_t write = oldLength;
  size_t read = listOffset;
  for (int32_t i = 0; i < count; ++i) {
    // Every name and its NUL lie inside the old record.
    if (read >= oldLength) return 0;
    const auto* name = reinterpret_cast<const char*>(buffer + read);
    const size_t length = strnlen(name, oldLength - read);
    if (length == oldLength - read) return 0;
    if (same_name(name, INSTALL_APPENDED_NAME)) return 0;
    reserve -= int64_t(length) + 1;
    if (reserve <= 0) return 0;
    memcpy(buffer + write, name, length + 1);  // write >= oldLength > read + length
    write += length + 1;
    read += length + 1;
  }
  if (reserve <= INSTALL_RESERVE_MARGIN) return 0;
  memcpy(buffer + write, INSTALL_APPENDED_NAME, sizeof INSTALL_APPENDED_NAME);
  store_le32(buffer + INSTALL_NAME_COUNT_AT, uint32_t(count + 1));
  store_le32(buffer + INSTALL_LIST_OFFSET_AT, uint32_t(oldLength));
  *newLength = write + sizeof INSTALL_APPENDED_NAME;
  return 1;
}

int InstallRecordNew(const char* path, uint8_t** bytes, size_t* length) {
  // Only a record the host says is not there is absent; one that could not be looked at is a
  // failure, never a record to skip.
  uint32_t attributes = 0;
  const int found = host_lookup(path, &attributes);
  if (found == HOST_ABSENT) return 0;
  if (found != HOST_FOUND) return -1;
  if ((attributes & HOST_ATTR_DIRECTORY) != 0) return 0;
  uint8_t* buffer = nullptr;
  size_t oldLength = 0;
  const int loaded = read_record(path, &buffer, &oldLength);
  if (loaded <= 0) return loaded;
  size_t newLength = 0;
  if (InstallRecordBuild(buffer, oldLength, &newLength) != 1) {
    mem_free(buffer);
    return 0;
  }
  *bytes = buffer;
  *length = newLength;
  return 1;
}

void AppendInstallRecord(const char* path) {
  uint8_t* bytes = nullptr;
  size_t length = 0;
  if (InstallRecordNew(path, &bytes, &length) != 1) return;
  // One file: its new copy takes its name in one step, or the old one stays.
  char side[HOST_PATH_ROOM];
  uint32_t attributes = 0;
  if (host_lookup(path, &attributes) == HOST_FOUND &&
      write_beside(path, bytes, length, side, sizeof side)) {
    const bool readOnly = (attributes & HOST_ATTR_READONLY) != 0;
    if ((readOnly && host_set_attributes(path, HOST_ATTR_NORMAL) != 0) ||
        host_replace(side, path) != 0) {
      host_delete(side);
      if (readOnly) host_set_attributes(path, attributes);
    }
  }
  mem_free(bytes);
}
