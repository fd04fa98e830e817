// Read-only access to one archive for the tool's inspecting commands: open through the archive
// table, the stored header, member bytes by entry, and the names of deleted entries.
#include "tools/pak/archive_reader.h"

#include <cstddef>
#include <cstring>

#include "archive/masked_stream.h"

bool ArchiveReader::open(const std::string& path, ToolIo& io) {
  close();
  PakRefusal why = PakRefusal::None;
  slot_ = pak_open_why(path.c_str(), PAK_OPEN_READ, &why);
  if (slot_ < 0) return fail(io, path, pak_refusal_text(why));
  // The header as stored, and where the archive's bytes end, as pak_open found them.
  why = pak_recognise_file(archive().file, pak_path_is_executable(path.c_str()), &location_);
  if (why != PakRefusal::None) {
    close();
    return fail(io, path, pak_refusal_text(why));
  }
  load_deleted_names();
  return true;
}

void ArchiveReader::close() {
  if (slot_ < 0) return;
  pak_close_discard(slot_);  // nothing of a read-only look is ever written back
  slot_ = -1;
  deletedNames_.clear();
}

std::string ArchiveReader::name(int32_t i) const {
  if (size_t(i) < deletedNames_.size() && entry(i).offset == 0) return deletedNames_[size_t(i)];
  return std::string(entry(i).name, strnlen(entry(i).name, PAK_NAME_SIZE - 1));
}

bool ArchiveReader::read_at(int64_t position, void* buffer, int32_t count) const {
  const HostHandle file = archive().file;
  if (position < 0 || position > HOST_MAX_FILE_SIZE) return false;
  if (host_seek(file, int32_t(position), HOST_SEEK_BEGIN) != int32_t(position)) return false;
  return count == 0 || host_read(file, buffer, count) == count;
}

int64_t ArchiveReader::stored_start(int32_t i) const {
  const PakEntry& e = entry(i);
  const int64_t start = int64_t(archive().baseOffset) + e.offset;
  if (e.offset < int32_t(PAK_HEADER_SIZE) || e.size < 0 || start + e.size > location_.end) {
    return -1;
  }
  return start;
}

bool ArchiveReader::read_stored(int32_t i, Bytes* out) const {
  const PakEntry& e = entry(i);
  const int64_t start = stored_start(i);
  if (start < 0) return false;
  out->resize(size_t(e.size));
  return read_at(start, out->data(), e.size);
}

ArchiveReader::Content ArchiveReader::read_content(int32_t i, Bytes* out) const {
  Bytes stored;
  if (!read_stored(i, &stored)) return Content::Unreadable;
  return member_content(stored, out) ? Content::Ok : Content::Damaged;
}

bool ArchiveReader::packed_record(int32_t i, PakMemberRecord* record) const {
  const PakEntry& e = entry(i);
  const int64_t start = int64_t(archive().baseOffset) + e.offset;
  if (e.offset < int32_t(PAK_HEADER_SIZE) || e.size < int32_t(PAK_RECORD_PROBE) ||
      start + e.size > location_.end)
    return false;
  uint8_t head[PAK_RECORD_PROBE];
  return read_at(start, head, int32_t(sizeof head)) &&
         record_recognised(head, sizeof head, e.size, record);
}

// Opening an archive empties the names of deleted entries in memory; the directory as stored
// may still hold them, so it is read once more for those names.
void ArchiveReader::load_deleted_names() {
  const PakArchive& a = archive();
  bool anyDeleted = false;
  for (int32_t i = 0; i < a.entryCount && !anyDeleted; ++i) anyDeleted = a.directory[i].offset == 0;
  if (!anyDeleted) return;

  const size_t bytes = size_t(a.entryCount) * PAK_ENTRY_SIZE;
  Bytes directory(bytes);
  if (a.packedDirectorySize != 0) {
    Bytes stream(size_t(a.packedDirectorySize));
    if (!read_at(a.directoryOffset, stream.data(), a.packedDirectorySize) ||
        masked_uncompress(directory.data(), stream.data(), uint32_t(stream.size()),
                          uint32_t(bytes)) != bytes)
      return;
  } else if (!read_at(a.directoryOffset, directory.data(), int32_t(bytes))) {
    return;
  }
  deletedNames_.resize(size_t(a.entryCount));
  for (int32_t i = 0; i < a.entryCount; ++i) {
    if (a.directory[i].offset != 0) continue;
    const char* stored = reinterpret_cast<const char*>(&directory[size_t(i) * PAK_ENTRY_SIZE + offsetof(PakEntry, name)]);
    deletedNames_[size_t(i)].assign(stored, strnlen(stored, PAK_NAME_SIZE - 1));
  }
}
