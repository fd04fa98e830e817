// Changing an archive without risking it: the change is made on a copy beside the archive
// (a "~pak" temporary file), written out, checked to open, and only then renamed over the
// archive. Whatever fails before that rename, the archive keeps its previous content; the
// archive's change lock is held throughout, so no other change works on it meanwhile.
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"
#include "tools/pak/change_lock.h"
#include "tools/pak/tool_io.h"

class Progress;

// A temporary file beside a target file; removed when the object goes, unless placed.
class SideFile {
 public:
  SideFile() = default;
  ~SideFile();
  SideFile(const SideFile&) = delete;
  SideFile& operator=(const SideFile&) = delete;

  // Picks a name no file has yet in the target's folder; reports and returns false when the
  // folder's path leaves no room for one.
  bool pick(const std::string& target, ToolIo& io);
  const std::string& path() const { return path_; }
  // Renames the file over the target (durably); reports and returns false when it cannot,
  // "in use" when some handle holds the target open.
  bool place(const std::string& target, ToolIo& io);
  void remove();

 private:
  std::string path_;
};

// Copies count bytes of one open host file from its current position to another, with
// progress. False when a read or write falls short.
bool copy_host_bytes(HostHandle from, HostHandle to, int64_t count, Progress* progress);

// Whether the archive at this path may be changed: not carried by an executable, not a folder,
// not read-only. Reports why not.
bool may_change(const std::string& archive, ToolIo& io);

// Whether the file opens as an archive (read-only, closed again at once).
bool archive_reads_back(const std::string& path);

class ArchiveChange {
 public:
  ArchiveChange() = default;
  ~ArchiveChange();
  ArchiveChange(const ArchiveChange&) = delete;
  ArchiveChange& operator=(const ArchiveChange&) = delete;

  // An existing stand-alone archive: refused when it is carried by an executable, read-only,
  // not an archive, or under another change; otherwise locked, copied beside itself and the
  // copy opened for writing.
  bool begin(const std::string& archive, ToolIo& io);
  // A new empty archive made beside the path (locked as an existing one is), to be put there
  // (replacing any file there) when committed.
  bool begin_new(const std::string& archive, int firstLetter, int lastLetter, uint32_t userValue,
                 bool compressed, ToolIo& io);

  int slot() const { return slot_; }
  const std::string& copy_path() const { return side_.path(); }

  // Writes the directory, trims the copy to the archive's end, makes it durable, closes it and
  // checks that it opens. The copy stays beside the archive.
  bool finish(ToolIo& io);
  // finish, then the copy replaces the archive.
  bool commit(ToolIo& io);

 private:
  void close_without_writing();

  std::string archive_;
  ChangeLock lock_;  // given up last, after the copy is placed or removed
  SideFile side_;
  int slot_ = -1;
};
