// An archive opened read-only for one command: its header as stored, its entries, and the
// bytes of its members read straight from the archive's file. Closed (never written) at the
// end; stand-alone archives and archives carried by executables alike.
#pragma once

#include <cstdint>
#include <string>

#include "archive/pak_table.h"
#include "tools/pak/member_record.h"
#include "tools/pak/tool_io.h"

class ArchiveReader {
 public:
  ArchiveReader() = default;
  ~ArchiveReader() { close(); }
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // Opens the archive; reports why it cannot and returns false.
  bool open(const std::string& path, ToolIo& io);
  void close();

  int slot() const { return slot_; }
  const PakArchive& archive() const { return g_archives[slot_]; }
  const PakHeader& header() const { return location_.header; }
  // Where the archive lies in its file, and the certificate table of a signed executable.
  const PakLocation& location() const { return location_; }
  int32_t count() const { return archive().entryCount; }
  const PakEntry& entry(int32_t i) const { return archive().directory[i]; }
  // The archive's bytes in the file: header to the end of its directory (or of the file).
  int64_t archive_bytes() const { return location_.end - location_.baseOffset; }

  // The name stored for entry i (at most 39 bytes). Deleted entries keep the name the file
  // holds, which opening the archive clears in memory.
  std::string name(int32_t i) const;
  // The member's bytes as stored; false when they lie outside the file or cannot be read.
  bool read_stored(int32_t i, Bytes* out) const;
  // The member's content: a packed record unpacked, any other member as stored.
  enum class Content { Ok, Unreadable, Damaged };
  Content read_content(int32_t i, Bytes* out) const;
  // Whether a live member holds a packed record, and its head when it does.
  bool packed_record(int32_t i, PakMemberRecord* record) const;
  // count bytes of the archive's file from position; false when fewer arrive.
  bool read_at(int64_t position, void* buffer, int32_t count) const;
  // Where the member's stored bytes start in the file; -1 when they lie outside it.
  int64_t stored_start(int32_t i) const;

 private:
  void load_deleted_names();

  int slot_ = -1;
  PakLocation location_{};
  std::vector<std::string> deletedNames_;  // by entry, filled only when some entry is deleted
};
