// Archive changes made on a working copy beside the archive: the copy is made through the host
// layer, changed through the library, written and checked, then renamed over the archive.
#include "tools/pak/archive_change.h"

#include <random>
#include <vector>

#include "archive/pak_build.h"
#include "archive/pak_table.h"
#include "host/path.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/disk_path.h"
#include "tools/pak/file_ops.h"
#include "tools/pak/progress.h"

namespace {

constexpr int32_t kCopyChunk = 1 << 20;
constexpr int kNameAttempts = 20;

std::string random_tag() {
  static std::mt19937 random(std::random_device{}());
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string tag(6, 'a');
  for (char& c : tag) c = kLetters[random() % (sizeof kLetters - 1)];
  return tag;
}

// Where the directory of a freshly flushed archive ends, or -1 when the file does not say
// (an empty compressed directory carries no length of its own).
int64_t directory_end(const PakArchive& a) {
  if (a.packedDirectorySize == 0) {
    const int64_t entries = a.entryCount != 0 ? a.entryCount : PAK_EMPTY_DIRECTORY_ENTRIES;
    return int64_t(a.directoryOffset) + entries * int64_t(PAK_ENTRY_SIZE);
  }
  if (a.entryCount == 0) return -1;
  uint8_t packed[4];
  if (host_seek(a.file, 20, HOST_SEEK_BEGIN) != 20 || host_read(a.file, packed, 4) != 4) return -1;
  return int64_t(a.directoryOffset) + load_le32(packed);
}

}  // namespace

SideFile::~SideFile() { remove(); }

bool SideFile::pick(const std::string& target, ToolIo& io) {
  remove();
  if (target.size() >= HOST_PATH_ROOM) return fail(io, target, "path too long");
  const std::string folder = disk_folder_part(target);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = folder + "~pak" + random_tag() + ".tmp";
    if (candidate.size() >= HOST_PATH_ROOM) break;
    if (host_get_attributes(candidate.c_str()) == HOST_NO_SUCH_FILE) {
      path_ = candidate;
      watch_temp_file(path_);
      return true;
    }
  }
  return fail(io, target, "no room for a working copy beside it (path too long?)");
}

bool SideFile::place(const std::string& target, ToolIo& io) {
  const int replaced = path_.empty() ? -1 : host_replace(path_.c_str(), target.c_str());
  if (replaced == HOST_IN_USE) {
    return fail(io, target, "in use: another program has it open, so it is left as it was");
  }
  if (replaced != 0) return fail(io, target, "cannot be replaced by its changed copy");
  forget_temp_file(path_);
  path_.clear();
  return true;
}

void SideFile::remove() {
  if (path_.empty()) return;
  host_force_delete(path_.c_str());
  forget_temp_file(path_);
  path_.clear();
}

bool copy_host_bytes(HostHandle from, HostHandle to, int64_t count, Progress* progress) {
  std::vector<uint8_t> buffer(size_t(count < kCopyChunk ? (count > 0 ? count : 1) : kCopyChunk));
  while (count > 0) {
    const int32_t n = count < kCopyChunk ? int32_t(count) : kCopyChunk;
    if (host_read(from, buffer.data(), n) != n || host_write(to, buffer.data(), n) != n)
      return false;
    count -= n;
    if (progress != nullptr) progress->advance(n);
  }
  return true;
}

ArchiveChange::~ArchiveChange() { close_without_writing(); }

void ArchiveChange::close_without_writing() {
  if (slot_ < 0) return;
  pak_close_discard(slot_);
  slot_ = -1;
}

bool may_change(const std::string& archive, ToolIo& io) {
  if (pak_path_is_executable(archive.c_str())) {
    return fail(io, archive, "the archive an executable carries can be read but not changed");
  }
  const uint32_t attributes = host_get_attributes(archive.c_str());
  if (attributes != HOST_NO_SUCH_FILE && (attributes & HOST_ATTR_DIRECTORY) != 0) {
    return fail(io, archive, "is a folder");
  }
  if (attributes != HOST_NO_SUCH_FILE && (attributes & HOST_ATTR_READONLY) != 0) {
    return fail(io, archive, "is read-only");
  }
  return true;
}

bool archive_reads_back(const std::string& path) {
  const int slot = pak_open(path.c_str(), PAK_OPEN_READ);
  if (slot < 0) return false;
  pak_close(slot);
  return true;
}

bool ArchiveChange::begin(const std::string& archive, ToolIo& io) {
  archive_ = archive;
  ArchiveReader reader;
  if (!may_change(archive, io) || !lock_.take(archive, io) || !reader.open(archive, io) ||
      !side_.pick(archive, io))
    return false;

  const HostHandle copy = host_create(side_.path().c_str(), 0);
  if (copy == HOST_INVALID_HANDLE) {
    return fail(io, archive, "cannot make a working copy beside it");
  }
  const int32_t size = host_size(reader.archive().file);
  bool copied = false;
  {
    Progress progress(io, "copying", size);
    copied = size >= 0 && host_seek(reader.archive().file, 0, HOST_SEEK_BEGIN) == 0 &&
             copy_host_bytes(reader.archive().file, copy, size, &progress);
  }
  copied = host_close(copy) == 0 && copied;
  reader.close();
  if (!copied) {
    return fail(io, archive, "cannot copy it beside itself (disk full?)");
  }
  slot_ = pak_open(side_.path().c_str(), PAK_OPEN_READWRITE);
  if (slot_ < 0) {
    return fail(io, archive, "its working copy cannot be opened");
  }
  return true;
}

bool ArchiveChange::begin_new(const std::string& archive, int firstLetter, int lastLetter,
                              uint32_t userValue, bool compressed, ToolIo& io) {
  archive_ = archive;
  if (!lock_.take(archive, io) || !side_.pick(archive, io)) return false;
  slot_ = pak_create(side_.path().c_str(), firstLetter, lastLetter, userValue, compressed ? 1 : 0);
  if (slot_ < 0) {
    return fail(io, archive, "cannot be created (disk full?)");
  }
  return true;
}

bool ArchiveChange::finish(ToolIo& io) {
  if (slot_ < 0) return false;
  const PakArchive& a = g_archives[slot_];
  // A fresh archive keeps the empty directory it was created with.
  const bool changed = (a.state & PAK_DIRTY) != 0;
  if ((changed && pak_flush_directory(slot_) != 0) || host_flush(a.file) != 0) {
    return fail(io, archive_, "cannot write the changed directory (disk full?)");
  }
  // Nothing after the directory: an archive the tool writes is the same bytes however its
  // members came to be added.
  const int64_t end = directory_end(a);
  close_without_writing();
  if (end > 0 && (end > HOST_MAX_FILE_SIZE || host_truncate(side_.path().c_str(), int32_t(end)) != 0)) {
    return fail(io, archive_, "cannot trim its changed copy");
  }
  if (!archive_reads_back(side_.path())) {
    return fail(io, archive_, "the changed copy does not read back");
  }
  return true;
}

bool ArchiveChange::commit(ToolIo& io) { return finish(io) && side_.place(archive_, io); }
