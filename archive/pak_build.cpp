// Whole-archive operations: empty archives, the header's user value, archives appended to
// executables, and compaction (whole, with a ".BAK" backup, or step by step into a new file).
// Every write is checked; a failure never leaves a half-made file in place of a good one.
#include "archive/pak_build.h"

#include <cstring>

#include "archive/masked_stream.h"
#include "archive/pak_table.h"
#include "host/path.h"

namespace {

constexpr uint32_t kNoUserValue = 0xFFFFFFFFu;  // pak_read_user_value of a file without one
constexpr int32_t kUserValueEnd = 20;        // bytes a header needs to hold its userValue

bool put(HostHandle file, const void* bytes, int64_t count) {
  if (count == 0) return true;
  return count > 0 && count <= HOST_MAX_FILE_SIZE &&
         host_write(file, bytes, int32_t(count)) == int32_t(count);
}

bool seek_to(HostHandle file, int64_t position) {
  return position >= 0 && position <= HOST_MAX_FILE_SIZE &&
         host_seek(file, int32_t(position), HOST_SEEK_BEGIN) == int32_t(position);
}

bool put_header(HostHandle file, const PakHeader& header) {
  const PakHeaderBytes bytes = pak_header_encode(header);
  return put(file, bytes.data(), int64_t(bytes.size()));
}

// The empty directory of a fresh archive: 64 zero entries, plain or as their masked stream.
bool put_empty_directory(HostHandle file, bool compressed) {
  static const uint8_t zeros[PAK_EMPTY_DIRECTORY_BYTES] = {};
  if (!compressed) return put(file, zeros, sizeof zeros);
  uint8_t stream[PAK_EMPTY_DIRECTORY_BYTES];
  const uint32_t length = masked_compress(stream, zeros, sizeof zeros, sizeof stream);
  return length != 0 && put(file, stream, length);
}

// Copies count bytes from the current position of one file to the current position of
// another through buffer, every chunk read and written whole.
bool copy_bytes(HostHandle from, HostHandle to, int64_t count, uint8_t* buffer) {
  while (count > 0) {
    const int32_t n = count < PAK_COPY_CHUNK ? int32_t(count) : PAK_COPY_CHUNK;
    if (host_read(from, buffer, n) != n || !put(to, buffer, n)) return false;
    count -= n;
  }
  return true;
}

// Writes the first count bytes of an open file into a file created at path. With
// removeOnFailure, a copy that falls short is deleted.
bool copy_into_new_file(HostHandle from, int64_t count, const char* path, uint8_t* buffer,
                        bool removeOnFailure) {
  const HostHandle to = host_create(path, 0);
  if (to == HOST_INVALID_HANDLE) return false;
  const bool copied = seek_to(from, 0) && copy_bytes(from, to, count, buffer);
  const bool closed = host_close(to) == 0;
  if (copied && closed) return true;
  if (removeOnFailure) host_delete(path);
  return false;
}

// A name beside path that no file has yet: path followed by tag and one digit.
bool free_sibling_path(const char* path, const char* tag, char* out) {
  const size_t length = strnlen(path, HOST_PATH_ROOM);
  const size_t tagLength = strlen(tag);
  if (length + tagLength + 2 > HOST_PATH_ROOM) return false;
  std::memcpy(out, path, length);
  std::memcpy(out + length, tag, tagLength);
  for (char digit = '0'; digit <= '9'; ++digit) {
    out[length + tagLength] = digit;
    out[length + tagLength + 1] = '\0';
    if (host_get_attributes(out) == HOST_NO_SUCH_FILE) return true;
  }
  return false;
}

// Gives the previous file its own name back after a failed compaction.
void restore_from_backup(const char* backup, const char* path) {
  if (host_get_attributes(path) != HOST_NO_SUCH_FILE) host_force_delete(path);
  host_move(backup, path);
}

void release(PakCompaction* c) {
  mem_free(c->directory);
  mem_free(c->buffer);
  c->directory = nullptr;
  c->buffer = nullptr;
}

// The compaction's source archive, or null when its slot no longer holds an open archive.
const PakArchive* source_of(const PakCompaction* c) {
  if (c->slot < 0 || c->slot >= PAK_MAX_ARCHIVES) return nullptr;
  const PakArchive& a = g_archives[c->slot];
  if ((a.state & PAK_IN_USE) == 0 || a.directory == nullptr) return nullptr;
  if (a.entryCount < 0 || a.entryCount > a.capacity) return nullptr;
  return &a;
}

// Member bytes the compaction keeps, or -1 when an entry lies outside the source file.
int64_t kept_bytes(const PakArchive& a) {
  const int64_t fileSize = host_size(a.file);
  if (fileSize < 0) return -1;
  int64_t total = 0;
  for (int32_t i = 0; i < a.entryCount; ++i) {
    const PakEntry& e = a.directory[i];
    if (e.offset == 0) continue;
    const int64_t start = int64_t(a.baseOffset) + e.offset;
    if (e.size < 0 || e.offset < int32_t(PAK_HEADER_SIZE) || start + e.size > fileSize) return -1;
    total += e.size;
  }
  return total;
}

// Writes the kept entries at the output's current place and completes the header for them.
bool put_directory(PakCompaction* c) {
  PakHeader& h = c->header;
  const bool compressed = h.packedDirectorySize != 0;
  if (c->kept == 0) {
    // An archive with no entries needs the directory that a fresh archive has, or no reader
    // would open it.
    if (compressed) h.packedDirectorySize = PAK_EMPTY_DIRECTORY_BYTES;
    return put_empty_directory(c->output, compressed);
  }
  const size_t bytes = size_t(c->kept) * PAK_ENTRY_SIZE;
  const size_t room = compressed ? bytes + bytes / 2 + 64 : 0;
  auto* disk = static_cast<uint8_t*>(mem_alloc(bytes + room));
  if (disk == nullptr) return false;
  pak_entries_to_disk(disk, c->directory, size_t(c->kept));
  bool ok = false;
  if (!compressed) {
    ok = put(c->output, disk, int64_t(bytes));
  } else {
    uint8_t* stream = disk + bytes;
    const uint32_t length = masked_compress(stream, disk, uint32_t(bytes), uint32_t(room));
    ok = length != 0 && put(c->output, stream, length);
    h.packedDirectorySize = int32_t(length);
  }
  mem_free(disk);
  return ok;
}

}  // namespace

int pak_create(const char* path, int firstLetter, int lastLetter, uint32_t userValue,
               int compressDirectory) {
  // An executable's name would be opened through its locator, read-only: the file made here
  // could never be opened, and an existing executable would have been truncated for nothing.
  if (path == nullptr || pak_path_is_executable(path)) return -1;
  const HostHandle file = host_create(path, 0);
  if (file == HOST_INVALID_HANDLE) return -1;

  PakHeader h{};
  h.magic = PAK_MAGIC;
  h.entryCount = 0;
  h.directoryOffset = int32_t(PAK_HEADER_SIZE);
  h.firstLetter = uint8_t(firstLetter);
  h.lastLetter = uint8_t(lastLetter);
  h.userValue = userValue;
  h.packedDirectorySize = compressDirectory != 0 ? PAK_EMPTY_DIRECTORY_BYTES : 0;
  const bool written = put_header(file, h) && put_empty_directory(file, compressDirectory != 0);
  const bool closed = host_close(file) == 0;
  if (!written || !closed) {
    host_delete(path);
    return -1;
  }
  return pak_open(path, PAK_OPEN_READWRITE);
}

uint32_t pak_read_user_value(const char* path) {
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return kNoUserValue;
  uint8_t header[PAK_HEADER_SIZE] = {};
  const int32_t got = host_read(file, header, int32_t(sizeof header));
  host_close(file);
  if (got < kUserValueEnd) return kNoUserValue;
  return load_le32(header + 16);
}

int pak_append_to_executable(const char* executablePath, const char* archivePath) {
  if (executablePath == nullptr || archivePath == nullptr) return -1;
  auto* buffer = static_cast<uint8_t*>(mem_alloc(PAK_COPY_CHUNK));
  if (buffer == nullptr) return -1;
  const HostHandle executable = host_open(executablePath, HOST_MODE_READWRITE);
  const HostHandle archive = host_open(archivePath, HOST_MODE_READ);
  const int64_t s = executable != HOST_INVALID_HANDLE ? host_size(executable) : -1;
  const int64_t l = archive != HOST_INVALID_HANDLE ? host_size(archive) : -1;
  char backup[HOST_PATH_ROOM];
  const bool ready = s >= 0 && l >= 0 &&
                     s + l + int64_t(PAK_LOCATOR_SIZE) <= HOST_MAX_FILE_SIZE &&
                     free_sibling_path(executablePath, ".~", backup) &&
                     copy_into_new_file(executable, s, backup, buffer, true);
  if (!ready) {
    host_close(executable);
    host_close(archive);
    mem_free(buffer);
    return -1;
  }

  uint8_t locator[PAK_LOCATOR_SIZE];
  pak_locator_encode(locator, uint32_t(s));
  bool appended = seek_to(executable, s) && seek_to(archive, 0) &&
                  copy_bytes(archive, executable, l, buffer) &&
                  put(executable, locator, sizeof locator);
  appended = host_close(executable) == 0 && appended;
  host_close(archive);

  bool restored = appended;
  if (!appended) {
    // Back to the executable's own bytes: rewritten from the copy, which keeps the file's
    // identity (and so its permissions) where a rename would not.
    const HostHandle copy = host_open(backup, HOST_MODE_READ);
    restored = copy != HOST_INVALID_HANDLE &&
               copy_into_new_file(copy, s, executablePath, buffer, false);
    host_close(copy);
  }
  if (restored) host_delete(backup);  // a failed restore keeps the copy for the user
  mem_free(buffer);
  return appended ? 0 : -1;
}

int pak_compact(const char* path) {
  pak_close_all();  // from here on every path is a disk path, whatever happens next
  if (path == nullptr) return -1;
  char backup[PAK_BACKUP_PATH_ROOM];
  const size_t length = strnlen(path, sizeof backup);
  if (length == sizeof backup) return -1;
  std::memcpy(backup, path, length + 1);
  if (path_replace_extension(backup, sizeof backup, ".BAK") != 0 ||
      path_same_ignoring_case(backup, path))
    return -1;

  // Nothing is renamed unless the file reads as a stand-alone archive.
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return -1;
  PakHeaderBytes header{};
  const bool isArchive = host_read(file, header.data(), int32_t(header.size())) ==
                             int32_t(header.size()) &&
                         pak_header_decode(header).magic == PAK_MAGIC;
  host_close(file);
  if (!isArchive || pak_path_is_executable(path)) return -1;

  // With every archive closed the path is a disk path: the backup replaces any older one.
  host_delete(backup);
  if (host_move(path, backup) != 0) return -1;
  const int slot = pak_open(backup, PAK_OPEN_READ);
  const int result = slot < 0 ? -1 : pak_compact_to(slot, path);
  pak_close_all();
  if (result != 0) restore_from_backup(backup, path);
  return result;
}

int pak_compact_begin(PakCompaction* c, int slot, const char* outputPath) {
  if (c == nullptr) return -1;
  *c = PakCompaction{};
  c->slot = slot;
  c->output = HOST_INVALID_HANDLE;
  const PakArchive* a = source_of(c);
  if (a == nullptr || outputPath == nullptr) return -1;
  const size_t pathLength = strnlen(outputPath, HOST_PATH_ROOM);
  if (pathLength == 0 || pathLength == HOST_PATH_ROOM) return -1;
  std::memcpy(c->outputPath, outputPath, pathLength + 1);

  PakHeaderBytes header{};
  if (!seek_to(a->file, a->baseOffset) ||
      host_read(a->file, header.data(), int32_t(header.size())) != int32_t(header.size()))
    return -1;
  c->header = pak_header_decode(header);
  c->header.packedDirectorySize = a->packedDirectorySize;
  c->bytesTotal = kept_bytes(*a);
  // The output must stay within 32-bit offsets, directory included at its largest.
  const int64_t directoryBytes = int64_t(a->entryCount) * int64_t(PAK_ENTRY_SIZE);
  if (c->bytesTotal < 0 || int64_t(PAK_HEADER_SIZE) + c->bytesTotal + directoryBytes * 2 +
                                   PAK_EMPTY_DIRECTORY_BYTES > HOST_MAX_FILE_SIZE)
    return -1;

  c->directory = static_cast<PakEntry*>(mem_alloc(size_t(directoryBytes) + PAK_ENTRY_SIZE));
  c->buffer = static_cast<uint8_t*>(mem_alloc(PAK_COPY_CHUNK));
  if (c->directory == nullptr || c->buffer == nullptr) {
    release(c);
    return -1;
  }
  c->output = host_create(outputPath, 0);
  if (c->output == HOST_INVALID_HANDLE) {
    release(c);
    return -1;
  }
  c->position = int32_t(PAK_HEADER_SIZE);
  if (!put_header(c->output, c->header)) {
    pak_compact_abandon(c);
    return -1;
  }
  return 0;
}

int pak_compact_step(PakCompaction* c) {
  if (c == nullptr || c->output == HOST_INVALID_HANDLE) return -1;
  const PakArchive* a = source_of(c);
  if (a == nullptr) {
    pak_compact_abandon(c);
    return -1;
  }
  while (c->memberLeft == 0) {
    if (c->next >= a->entryCount) return 0;
    const PakEntry& e = a->directory[c->next++];
    if (e.offset == 0) continue;
    PakEntry& kept = c->directory[c->kept++];
    kept = e;  // the whole entry, reserved bytes included
    kept.offset = c->position;
    c->memberLeft = e.size;
    c->memberFrom = a->baseOffset + e.offset;
  }
  const int32_t n = c->memberLeft < PAK_COPY_CHUNK ? c->memberLeft : PAK_COPY_CHUNK;
  if (!seek_to(a->file, c->memberFrom) || !copy_bytes(a->file, c->output, n, c->buffer)) {
    pak_compact_abandon(c);
    return -1;
  }
  c->memberFrom += n;
  c->memberLeft -= n;
  c->position += n;
  c->bytesDone += n;
  return 1;
}

int pak_compact_finish(PakCompaction* c) {
  if (c == nullptr || c->output == HOST_INVALID_HANDLE) return -1;
  int step = 1;
  while (step == 1) step = pak_compact_step(c);
  if (step < 0) return -1;

  c->header.entryCount = c->kept;
  c->header.directoryOffset = c->position;
  c->header.reserved = 0;
  bool ok = seek_to(c->output, c->position) && put_directory(c) && seek_to(c->output, 0) &&
            put_header(c->output, c->header);
  ok = host_close(c->output) == 0 && ok;
  c->output = HOST_INVALID_HANDLE;
  release(c);
  if (!ok) host_delete(c->outputPath);
  return ok ? 0 : -1;
}

void pak_compact_abandon(PakCompaction* c) {
  if (c == nullptr) return;
  if (c->output != HOST_INVALID_HANDLE) {
    host_close(c->output);
    host_delete(c->outputPath);
  }
  c->output = HOST_INVALID_HANDLE;
  release(c);
}

int pak_compact_to(int slot, const char* outputPath) {
  PakCompaction c;
  if (pak_compact_begin(&c, slot, outputPath) != 0) return -1;
  return pak_compact_finish(&c);
}
