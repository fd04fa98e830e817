// The game's install record "INSTALL.DAT", as far as the updater reads and writes it:
//
//   0    header[768]     carried over unchanged
//   768  listOffset u32  file offset of the name list
//   772  nameCount  i32  names in the list (read only when above 0)
//   776  body            carried over unchanged; holds the list somewhere
//   list: nameCount NUL-terminated 8-bit names back to back
#pragma once

#include <cstddef>
#include <cstdint>


constexpr size_t INSTALL_LIST_OFFSET_AT = 768;
constexpr size_t INSTALL_NAME_COUNT_AT = 772;
constexpr size_t INSTALL_RECORD_MIN_SIZE = 776;
constexpr int32_t INSTALL_GROWTH_RESERVE = 512000;
constexpr int32_t INSTALL_RESERVE_MARGIN = 128;
constexpr char INSTALL_APPENDED_NAME[] = "Update.PAK";

// The record at path with "Update.PAK" added: 1 with the new record's bytes in *bytes (freed
// with mem_free) and their count in *length; 0: nothing to write (no record, not well formed,
// the name already listed, the list too long for the reserve); -1: the record could not be
// looked at or read.
int InstallRecordNew(const char* path, uint8_t** bytes, size_t* length);

// Bytes the record may grow by: the copied list (its names lie inside the old record, and
// together stay under the growth reserve) and the added name.
inline size_t install_record_growth(size_t oldLength) {
  const size_t bound = oldLength + sizeof INSTALL_APPENDED_NAME;
  return bound < size_t(INSTALL_GROWTH_RESERVE) ? bound : size_t(INSTALL_GROWTH_RESERVE);
}

// The new record's bytes from the old one's: its length in *newLength, in a buffer of
// oldLength + install_record_growth(oldLength) bytes whose first oldLength bytes hold the old
// record.
// 1 when there is something to write; 0 as for InstallRecordNew.
int InstallRecordBuild(uint8_t* buffer, size_t oldLength, size_t* newLength);
