// Unified file handles: the open-file table of archive members and the open, create, read,
// write, seek, size and close calls that serve disk files (host handles) and members alike.
// Member bytes are moved as they lie in the archive; nothing is compressed here.
#include "vfs/file_handle.h"

#include <cstdint>
#include <cstring>

#include "archive/pak_table.h"
#include "vfs/mount_path.h"

OpenFile g_openFiles[VFS_MAX_OPEN_FILES];
int g_openMemberCount = 0;

namespace {

// Directory growth step, in entries.
constexpr int32_t DIRECTORY_GROWTH = 64;
// Largest entry count whose directory still has a 32-bit byte size after growth.
constexpr int32_t MAX_ENTRIES = int32_t(HOST_MAX_FILE_SIZE / int64_t(PAK_ENTRY_SIZE)) -
                                DIRECTORY_GROWTH;

OpenFile* record_of(int32_t handle) {
  if (!vfs_is_member_handle(handle)) return nullptr;
  return &g_openFiles[handle - VFS_HANDLE_BASE];
}

// The archive a bound record belongs to, or null when the record is free or stale: its archive
// was closed (and perhaps another opened in the slot) since the record was bound.
PakArchive* archive_of(const OpenFile& f) {
  if (f.start == 0 || f.archive < 0 || f.archive >= PAK_MAX_ARCHIVES) return nullptr;
  PakArchive& a = g_archives[f.archive];
  if ((a.state & PAK_IN_USE) == 0 || a.generation != f.generation) return nullptr;
  if (a.directory == nullptr || f.entry < 0 || f.entry >= a.entryCount) return nullptr;
  return &a;
}

// Marks the record's member as changed: its archive's directory must be written back.
void mark_written(OpenFile& f, PakArchive& a) {
  f.written = 1;
  a.state |= PAK_DIRTY;
}

// Positions the archive's file at the record's current byte; false when it cannot.
bool seek_to_position(const OpenFile& f, const PakArchive& a) {
  const int64_t target = int64_t(f.start) + f.position;
  if (target > HOST_MAX_FILE_SIZE) return false;
  return host_seek(a.file, int32_t(target), HOST_SEEK_BEGIN) == int32_t(target);
}

// The name a create stores, or null when it does not fit the 40-byte field.
const char* member_name(const char* path) {
  const char* name = vfs_strip_mount_prefix(path);
  if (name == nullptr || strnlen(name, PAK_NAME_SIZE) >= PAK_NAME_SIZE) return nullptr;
  return name;
}

// Makes room for one more entry in the archive's directory (which may move).
bool ensure_room(PakArchive& a) {
  if (a.entryCount < a.capacity) return true;
  if (a.entryCount < 0 || a.entryCount > MAX_ENTRIES) return false;
  const int32_t room = a.entryCount + DIRECTORY_GROWTH;
  void* grown = mem_realloc(a.directory, size_t(room) * PAK_ENTRY_SIZE);
  if (grown == nullptr) return false;
  a.directory = static_cast<PakEntry*>(grown);
  a.capacity = room;
  return true;
}

// Appends an empty member at the end of the archive's data and binds record slot to it,
// handed out to the caller. The directory must have room.
int32_t append_and_hand_out(int slot, int archive, const char* name) {
  PakArchive& a = g_archives[archive];
  pak_drop_index(archive);
  const int32_t position = a.entryCount;
  PakEntry& e = a.directory[position];
  std::memset(&e, 0, sizeof e);  // reserved bytes and the name's tail stay zero
  e.size = 0;
  e.offset = a.directoryOffset - a.baseOffset;  // entries count from the archive start
  e.tag = 0;
  std::memcpy(e.name, name, strnlen(name, PAK_NAME_SIZE - 1));
  a.entryCount += 1;
  a.state |= PAK_DIRTY;

  OpenFile& f = g_openFiles[slot];
  f.size = 0;
  f.start = uint32_t(a.directoryOffset);
  f.tag = 0;
  f.position = 0;
  f.written = 0;
  f.entry = position;
  f.archive = archive;
  f.handedOut = 1;
  f.generation = a.generation;
  g_openMemberCount += 1;
  return VFS_HANDLE_BASE + slot;
}

// Archive a create may append to: in use, data end after the header, entry counts that add up.
bool archive_can_append(const PakArchive& a) {
  return (a.state & PAK_IN_USE) != 0 && a.directory != nullptr &&
         int64_t(a.directoryOffset) - a.baseOffset >= int64_t(PAK_HEADER_SIZE) &&
         a.entryCount >= 0 && a.entryCount <= a.capacity;
}

}  // namespace

int vfs_find_free_slot() {
  for (int s = 0; s < VFS_MAX_OPEN_FILES; ++s) {
    if (g_openFiles[s].start == 0) return s;
  }
  return -1;
}

int vfs_bind_slot(int slot, const char* path) {
  if (slot < 0 || slot >= VFS_MAX_OPEN_FILES) return -1;
  PakEntry* e = vfs_find_member(path, VFS_LOOKUP);
  if (e == nullptr) return -1;
  const int a = g_lastFoundArchive;
  const PakArchive& archive = g_archives[a];
  // A member must start after the header and lie within 32-bit offsets.
  const int64_t start = int64_t(archive.baseOffset) + e->offset;
  if (e->size < 0 || e->offset <= 0 || start <= 0 || start + e->size > HOST_MAX_FILE_SIZE) {
    return -1;
  }
  OpenFile& f = g_openFiles[slot];
  f.size = e->size;
  f.start = uint32_t(start);
  f.tag = e->tag;
  f.position = 0;
  f.written = 0;
  f.entry = int32_t(e - archive.directory);
  f.archive = a;
  f.handedOut = 0;
  f.generation = archive.generation;
  return 0;
}

int vfs_release_slot(int slot) {
  if (slot < 0 || slot >= VFS_MAX_OPEN_FILES) return 0;
  OpenFile& f = g_openFiles[slot];
  if (f.start == 0) return 0;
  if (f.written != 0) {
    f.written = 0;
    if (PakArchive* a = archive_of(f)) a->state |= PAK_DIRTY;
  }
  if (f.handedOut != 0) {
    f.handedOut = 0;
    g_openMemberCount -= 1;
  }
  f.start = 0;
  return 0;
}

int32_t vfs_open(const char* path, int mode) {
  if (vfs_archive_for_path(path) < 0) return host_open(path, mode);
  const int s = vfs_find_free_slot();
  if (vfs_bind_slot(s, path) != 0) return -1;
  g_openFiles[s].handedOut = 1;
  g_openMemberCount += 1;
  return VFS_HANDLE_BASE + s;
}

int32_t vfs_create(const char* path, uint32_t attributes) {
  int a = vfs_archive_for_path(path);
  if (a < 0) return host_create(path, attributes);
  const char* name = member_name(path);
  if (name == nullptr) return -1;
  const int s = vfs_find_free_slot();
  if (s < 0) return -1;

  // A live member of that name is replaced in the archive that holds it. Room for the new
  // entry is made before the old one is marked deleted, so a failure changes nothing.
  const bool replacing = vfs_bind_slot(s, path) == 0;
  if (replacing) a = g_openFiles[s].archive;
  PakArchive& archive = g_archives[a];
  if (!archive_can_append(archive) || !ensure_room(archive)) {
    if (replacing) vfs_release_slot(s);
    return -1;
  }
  if (replacing) {
    archive.directory[g_openFiles[s].entry].offset = 0;
    mark_written(g_openFiles[s], archive);
    vfs_release_slot(s);
  }
  return append_and_hand_out(s, a, name);
}

int32_t vfs_create_new(const char* path, uint32_t attributes) {
  const int a = vfs_archive_for_path(path);
  if (a < 0) return host_create(path, attributes);
  const char* name = member_name(path);
  if (name == nullptr) return -1;
  const int s = vfs_find_free_slot();
  if (s < 0) return -1;
  PakArchive& archive = g_archives[a];
  if (!archive_can_append(archive) || !ensure_room(archive)) return -1;
  return append_and_hand_out(s, a, name);
}

int vfs_close(int32_t handle) {
  OpenFile* f = record_of(handle);
  if (f == nullptr) return host_close(handle);
  vfs_release_slot(handle - VFS_HANDLE_BASE);
  return 0;
}

int32_t vfs_read(int32_t handle, void* buffer, int32_t count) {
  OpenFile* f = record_of(handle);
  if (f == nullptr) return host_read(handle, buffer, count);
  PakArchive* a = archive_of(*f);
  if (a == nullptr || buffer == nullptr) return 0;
  const int32_t remaining = f->size - f->position;
  if (count > remaining) count = remaining;
  if (count <= 0) return 0;
  if (!seek_to_position(*f, *a)) return 0;
  int32_t r = host_read(a->file, buffer, count);
  if (r < 0) r = 0;
  if (r > count) r = count;
  f->position += r;
  return r;
}

// Only the member whose bytes end the archive's data may be written: anywhere else the bytes
// would run over the members that follow it.
int32_t vfs_write(int32_t handle, const void* buffer, int32_t count) {
  OpenFile* f = record_of(handle);
  if (f == nullptr) return host_write(handle, buffer, count);
  PakArchive* a = archive_of(*f);
  if (a == nullptr || buffer == nullptr || count <= 0) return 0;
  if (int64_t(f->start) + f->size != a->directoryOffset) return 0;
  if (int64_t(f->start) + f->position + count > HOST_MAX_FILE_SIZE) return 0;
  if (!seek_to_position(*f, *a)) return 0;

  int32_t w = host_write(a->file, buffer, count);
  if (w < 0) w = 0;
  if (w > count) w = count;
  f->position += w;
  if (f->position > f->size) {
    f->size = f->position;
    a->directory[f->entry].size = f->position;
  }
  // The directory moves to just past the member's last byte.
  a->directoryOffset = int32_t(int64_t(f->start) + f->size);
  mark_written(*f, *a);
  return w;
}

int32_t vfs_size(int32_t handle) {
  OpenFile* f = record_of(handle);
  if (f == nullptr) return host_size(handle);
  if (archive_of(*f) == nullptr) return -1;
  return f->size;
}

int32_t vfs_seek(int32_t handle, int32_t offset, int method) {
  OpenFile* f = record_of(handle);
  if (f == nullptr) return host_seek(handle, offset, method);
  if (archive_of(*f) == nullptr) return -1;
  int64_t target = offset;
  if (method == HOST_SEEK_CURRENT) {
    target += f->position;
  } else if (method == HOST_SEEK_END) {
    target += f->size;
  }
  if (target > f->size) target = f->size;
  if (target < 0) target = 0;
  f->position = int32_t(target);
  return f->position;
}

int vfs_open_member_count() { return g_openMemberCount; }
