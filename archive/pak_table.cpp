// The archive table: opening recognised PAK archives (stand-alone or appended to an
// executable) into the ten slots, holding each directory in memory with a sorted name index,
// writing a changed directory back, and closing. All file and heap access goes through the
// host wrappers.
#include "archive/pak_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "archive/masked_stream.h"
#include "archive/pak_recognise.h"
#include "host/path.h"

PakArchive g_archives[PAK_MAX_ARCHIVES];
int g_archiveTop = 0;
int g_indexArchive = -1;

namespace {

// Spare entries given to a compressed directory so members can be added without growing it.
constexpr int64_t kCompressedSpareEntries = 20;
// A directory claiming more entries than its packed bytes could ever hold (with this slack
// for small streams) is refused before anything is allocated for it.
constexpr int64_t kInflateSlack = 4096;
// Header fields rewritten by a flush, as offsets from the archive start: the entry count and
// directory offset, and the packed directory size.
constexpr size_t kCountFieldOffset = 4;
constexpr size_t kOffsetFieldOffset = 8;
constexpr size_t kPackedSizeFieldOffset = 20;

bool slot_in_use(int slot) {
  return slot >= 0 && slot < PAK_MAX_ARCHIVES && (g_archives[slot].state & PAK_IN_USE) != 0;
}

bool read_exact(HostHandle file, void* buffer, int64_t count) {
  if (count < 0 || count > HOST_MAX_FILE_SIZE) return false;
  return host_read(file, buffer, int32_t(count)) == count;
}

bool write_exact(HostHandle file, const void* buffer, int64_t count) {
  if (count < 0 || count > HOST_MAX_FILE_SIZE) return false;
  return host_write(file, buffer, int32_t(count)) == count;
}

bool seek_exact(HostHandle file, int64_t position) {
  if (position < 0 || position > HOST_MAX_FILE_SIZE) return false;
  return host_seek(file, int32_t(position), HOST_SEEK_BEGIN) == position;
}

// Everything pak_open learns from the file before it fills a slot. The destructor releases
// whatever has not been handed over to the slot.
struct OpenedArchive {
  PakHeader header{};
  int32_t baseOffset = 0;
  int32_t directoryOffset = 0;  // absolute
  int32_t capacity = 0;
  PakEntry* directory = nullptr;
  int32_t* sortedIndex = nullptr;
  PakNameKeys keys{};  // in sortedIndex's block

  OpenedArchive() = default;
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;
  ~OpenedArchive() {
    mem_free(sortedIndex);
    mem_free(directory);
  }
};

// Reads a compressed directory of entryCount > 0 entries into out->directory.
PakRefusal read_compressed_directory(HostHandle file, OpenedArchive* out, int64_t directoryBytes,
                                     int64_t roomBytes) {
  const int32_t packedSize = out->header.packedDirectorySize;
  auto* packed = static_cast<uint8_t*>(mem_alloc(size_t(packedSize)));
  if (packed == nullptr) return PakRefusal::NoMemory;
  const bool read = seek_exact(file, out->directoryOffset) && read_exact(file, packed, packedSize);
  uint32_t inflated = 0;
  if (read) {
    inflated = masked_uncompress(out->directory, packed, uint32_t(packedSize), uint32_t(roomBytes));
  }
  mem_free(packed);
  if (!read) return PakRefusal::Unreadable;
  if (inflated < directoryBytes) return PakRefusal::DamagedDirectory;
  std::memset(reinterpret_cast<uint8_t*>(out->directory) + inflated, 0,
              size_t(roomBytes - inflated));
  return PakRefusal::None;
}

// Sizes the directory of a recognised archive against the file and reads it.
PakRefusal read_directory(HostHandle file, const PakLocation& at, OpenedArchive* out) {
  const PakHeader& h = out->header;
  const int64_t absolute = int64_t(at.baseOffset) + h.directoryOffset;
  const int64_t available = at.end - absolute;  // more than 0: recognition checked it
  out->directoryOffset = int32_t(absolute);

  const bool compressed = h.packedDirectorySize != 0;
  const int64_t directoryBytes = int64_t(h.entryCount) * int64_t(PAK_ENTRY_SIZE);
  int64_t roomBytes = 0;
  // Only the directory's own bytes are read; whatever follows it is ignored.
  bool fits = pak_directory_stored_bytes(h) <= available;
  if (h.entryCount == 0) {
    out->capacity = PAK_EMPTY_DIRECTORY_ENTRIES;
    roomBytes = PAK_EMPTY_DIRECTORY_BYTES;
  } else if (compressed) {
    const int64_t capacity = int64_t(h.entryCount) + kCompressedSpareEntries;
    roomBytes = capacity * int64_t(PAK_ENTRY_SIZE);
    out->capacity = int32_t(capacity);
    fits = fits &&
           masked_ratio_possible(uint64_t(h.packedDirectorySize),
                                 uint64_t(std::max<int64_t>(directoryBytes - kInflateSlack, 0))) &&
           roomBytes <= HOST_MAX_FILE_SIZE;
  } else {
    out->capacity = h.entryCount;
    roomBytes = directoryBytes;
  }
  if (!fits) return PakRefusal::DamagedDirectory;

  out->directory = static_cast<PakEntry*>(mem_alloc(size_t(roomBytes)));
  if (out->directory == nullptr) return PakRefusal::NoMemory;
  if (h.entryCount == 0 && compressed) {
    std::memset(out->directory, 0, size_t(roomBytes));
    return PakRefusal::None;
  }
  if (compressed) return read_compressed_directory(file, out, directoryBytes, roomBytes);
  const bool read =
      seek_exact(file, out->directoryOffset) && read_exact(file, out->directory, roomBytes);
  return read ? PakRefusal::None : PakRefusal::Unreadable;
}

// Names are at most 39 bytes whatever the file holds; deleted entries lose their names.
void normalise_entries(PakEntry* directory, int32_t entryCount) {
  pak_entries_from_disk(directory, size_t(entryCount));
  for (int32_t i = 0; i < entryCount; ++i) {
    PakEntry& e = directory[i];
    e.name[PAK_NAME_SIZE - 1] = 0;
    if (e.offset == 0) e.name[0] = 0;
  }
}

// A key's place in the hash table (FNV-1a over the key up to its first zero).
uint32_t key_hash(const char* key) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < PAK_NAME_SIZE && key[i] != '\0'; ++i) {
    h = (h ^ static_cast<unsigned char>(key[i])) * 16777619u;
  }
  return h;
}

// The positions of all entries in name order and, in the same block after them, each name
// folded once in that order and a hash table of them (so a lookup folds only its own key and
// finds it in a step or two); null when there is no memory for them.
int32_t* build_index(const PakEntry* directory, int32_t entryCount, PakNameKeys* keys) {
  const size_t count = size_t(entryCount);
  size_t places = 16;
  while (places < 2 * count) places *= 2;
  auto* index = static_cast<int32_t*>(
      mem_alloc(count * (sizeof(int32_t) + PAK_NAME_SIZE) + places * sizeof(int32_t)));
  if (index == nullptr) return nullptr;
  const unsigned folding = path_names_code_page();
  char* folded = reinterpret_cast<char*>(index + count);
  auto* table = reinterpret_cast<int32_t*>(folded + count * PAK_NAME_SIZE);
  for (int32_t i = 0; i < entryCount; ++i) index[i] = i;
  // Sorted by the folded names (the same order as pak_name_compare), each folded once: the
  // keys are made in entry order first, then laid out in index order.
  auto* scratch = static_cast<char*>(mem_alloc(count * PAK_NAME_SIZE));
  if (scratch == nullptr) {
    mem_free(index);
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    path_fold_key(directory[i].name, PAK_NAME_SIZE, folding, scratch + i * PAK_NAME_SIZE);
  }
  std::sort(index, index + entryCount, [scratch](int32_t a, int32_t b) {
    return memcmp(scratch + size_t(a) * PAK_NAME_SIZE, scratch + size_t(b) * PAK_NAME_SIZE,
                  PAK_NAME_SIZE) < 0;
  });
  for (size_t i = 0; i < count; ++i) {
    memcpy(folded + i * PAK_NAME_SIZE, scratch + size_t(index[i]) * PAK_NAME_SIZE, PAK_NAME_SIZE);
  }
  mem_free(scratch);
  const uint32_t mask = uint32_t(places - 1);
  for (size_t i = 0; i < places; ++i) table[i] = -1;
  for (size_t i = 0; i < count; ++i) {
    uint32_t at = key_hash(folded + i * PAK_NAME_SIZE) & mask;
    while (table[at] != -1) at = (at + 1) & mask;
    table[at] = int32_t(i);
  }
  *keys = PakNameKeys{folded, table, mask, folding};
  return index;
}

PakRefusal load_archive(HostHandle file, bool executable, OpenedArchive* out) {
  PakLocation at{};
  const PakRefusal recognised = pak_recognise_file(file, executable, &at);
  if (recognised != PakRefusal::None) return recognised;
  out->header = at.header;
  out->baseOffset = at.baseOffset;
  const PakRefusal read = read_directory(file, at, out);
  if (read != PakRefusal::None) return read;

  const int32_t entryCount = out->header.entryCount;
  if (entryCount > 0) {
    normalise_entries(out->directory, entryCount);
    out->sortedIndex = build_index(out->directory, entryCount, &out->keys);
  }
  return PakRefusal::None;
}

// The directory's bytes in file order: the directory itself on a little-endian host,
// otherwise a converted copy left in *converted for the caller to free.
const void* directory_disk_bytes(const PakArchive& a, size_t bytes, uint8_t** converted) {
  *converted = nullptr;
  if constexpr (std::endian::native == std::endian::little) {
    (void)bytes;
    return a.directory;
  } else {
    *converted = static_cast<uint8_t*>(mem_alloc(bytes == 0 ? 1 : bytes));
    if (*converted == nullptr) return nullptr;
    pak_entries_to_disk(*converted, a.directory, size_t(a.entryCount));
    return *converted;
  }
}

// Writes the directory at the file offset at; for a compressed directory, *packedSize receives
// the stream's length.
bool write_directory(const PakArchive& a, int64_t at, const void* source, size_t bytes,
                     int32_t* packedSize) {
  if (!seek_exact(a.file, at)) return false;
  if (a.packedDirectorySize == 0) return write_exact(a.file, source, int64_t(bytes));

  // Room for the stream of any input, an empty one included (deflate's worst case is a few
  // bytes per 16 KiB over the input).
  const uint64_t room = uint64_t(bytes) + bytes / 2 + 64;
  auto* stream = static_cast<uint8_t*>(mem_alloc(size_t(room)));
  if (stream == nullptr) return false;
  const uint32_t length = masked_compress(stream, source, uint32_t(bytes), uint32_t(room));
  const bool ok = length != 0 && write_exact(a.file, stream, length);
  mem_free(stream);
  *packedSize = int32_t(length);
  return ok;
}

// Where the new directory goes. Once the file layer has written members over the old one, it
// moved the directory past them. Otherwise (only names or deletions changed) it would land on
// the old directory, which a cut part way through its write would leave half old, half new:
// it goes past the end of the file instead, and the old one stays whole until the header
// names the new one. A directory of no entries is never read, so it may be written over.
int64_t directory_target(const PakArchive& a, const PakHeaderBytes& stored) {
  const int64_t storedAt = int64_t(a.baseOffset) + load_le32(&stored[kOffsetFieldOffset]);
  if (a.directoryOffset != storedAt || load_le32(&stored[kCountFieldOffset]) == 0) {
    return a.directoryOffset;
  }
  return host_seek(a.file, 0, HOST_SEEK_END);
}

}  // namespace

int pak_find_free_slot() {
  if (g_archiveTop >= PAK_MAX_ARCHIVES) return -1;
  for (int slot = std::max(g_archiveTop, 0); slot < PAK_MAX_ARCHIVES; ++slot) {
    if ((g_archives[slot].state & PAK_IN_USE) == 0) return slot;
  }
  return -1;
}

int pak_open(const char* path, int mode) { return pak_open_why(path, mode, nullptr); }

int pak_open_why(const char* path, int mode, PakRefusal* why) {
  PakRefusal ignored;
  PakRefusal& refusal = why != nullptr ? *why : ignored;
  refusal = PakRefusal::None;
  const int slot = pak_find_free_slot();
  if (slot < 0) {
    refusal = PakRefusal::NoFreeSlot;
    return -1;
  }
  if (path == nullptr) {
    refusal = PakRefusal::NoSuchFile;
    return -1;
  }
  const bool executable = pak_path_is_executable(path);
  if (executable && mode != PAK_OPEN_READ) {
    refusal = PakRefusal::CarrierReadOnly;
    return -1;
  }

  const HostHandle file = host_open(path, mode);
  if (file == HOST_INVALID_HANDLE) {
    const uint32_t attributes = host_get_attributes(path);
    refusal = attributes == HOST_NO_SUCH_FILE                ? PakRefusal::NoSuchFile
              : (attributes & HOST_ATTR_DIRECTORY) != 0 ? PakRefusal::IsFolder
                                                             : PakRefusal::Unreadable;
    return -1;
  }
  OpenedArchive opened;
  refusal = load_archive(file, executable, &opened);
  if (refusal != PakRefusal::None) {
    host_close(file);
    return -1;
  }

  PakArchive& a = g_archives[slot];
  a.file = file;
  a.firstLetter = opened.header.firstLetter;
  a.lastLetter = opened.header.lastLetter;
  a.entryCount = opened.header.entryCount;
  a.packedDirectorySize = opened.header.packedDirectorySize;
  a.directoryOffset = opened.directoryOffset;
  a.state = PAK_IN_USE;
  a.capacity = opened.capacity;
  a.baseOffset = opened.baseOffset;
  a.directory = std::exchange(opened.directory, nullptr);
  a.sortedIndex = std::exchange(opened.sortedIndex, nullptr);
  a.keys = std::exchange(opened.keys, PakNameKeys{});
  ++a.generation;
  if (slot >= g_archiveTop) g_archiveTop = slot + 1;
  return slot;
}

void pak_close(int slot) {
  if (!slot_in_use(slot)) return;
  if (g_archives[slot].state & PAK_DIRTY) pak_flush_directory(slot);  // even if it fails
  pak_close_discard(slot);
}

void pak_close_discard(int slot) {
  if (!slot_in_use(slot)) return;
  PakArchive& a = g_archives[slot];
  pak_drop_index(slot);
  mem_free(a.directory);
  host_close(a.file);
  const uint32_t generation = a.generation + 1;
  a = PakArchive{};
  a.file = HOST_INVALID_HANDLE;
  a.generation = generation;

  if (slot + 1 == g_archiveTop) {
    int top = slot;
    while (top > 0 && (g_archives[top - 1].state & PAK_IN_USE) == 0) --top;
    g_archiveTop = top;
  }
}

void pak_close_all() {
  for (int slot = std::min(g_archiveTop, PAK_MAX_ARCHIVES) - 1; slot >= 0; --slot) pak_close(slot);
  g_archiveTop = 0;
}

int pak_flush_directory(int slot) {
  if (!slot_in_use(slot)) return -1;
  PakArchive& a = g_archives[slot];
  if (a.entryCount < 0 || a.entryCount > a.capacity || (a.entryCount > 0 && !a.directory))
    return -1;
  const size_t bytes = size_t(a.entryCount) * PAK_ENTRY_SIZE;

  // The header as stored: it says where the old directory lies, and its fields from the count
  // to the packed directory size are rewritten in one write with the letters and user value
  // between them unchanged.
  PakHeaderBytes header{};
  if (!seek_exact(a.file, a.baseOffset) ||
      !read_exact(a.file, header.data(), int64_t(header.size())))
    return -1;
  const int64_t at = directory_target(a, header);
  if (at < int64_t(a.baseOffset) + int64_t(PAK_HEADER_SIZE) || at > HOST_MAX_FILE_SIZE) return -1;

  uint8_t* converted = nullptr;
  const void* source = directory_disk_bytes(a, bytes, &converted);
  if (source == nullptr && bytes != 0) return -1;
  int32_t packedSize = 0;
  const bool written = write_directory(a, at, source, bytes, &packedSize);
  mem_free(converted);
  // The new directory is on disk before the header names it.
  if (!written || host_flush(a.file) != 0) return -1;

  // The header switches in one write after the directory, so that a failure or a power cut at
  // any point leaves it naming either the old directory or the new one, never a mix of the two.
  store_le32(&header[kCountFieldOffset], uint32_t(a.entryCount));
  store_le32(&header[kOffsetFieldOffset], uint32_t(at - a.baseOffset));
  if (a.packedDirectorySize != 0) {
    store_le32(&header[kPackedSizeFieldOffset], uint32_t(packedSize));
  }
  const int64_t fieldsBytes = int64_t(PAK_HEADER_SIZE - kCountFieldOffset);
  if (!seek_exact(a.file, int64_t(a.baseOffset) + int64_t(kCountFieldOffset)) ||
      !write_exact(a.file, &header[kCountFieldOffset], fieldsBytes))
    return -1;
  a.directoryOffset = int32_t(at);
  return 0;
}

int pak_flush_top() {
  for (int slot = std::min(g_archiveTop, PAK_MAX_ARCHIVES) - 1; slot >= 0; --slot) {
    if (g_archives[slot].state & PAK_IN_USE) return pak_flush_directory(slot);
  }
  return 0;
}

void pak_drop_index(int slot) {
  if (slot < 0 || slot >= PAK_MAX_ARCHIVES) return;
  PakArchive& a = g_archives[slot];
  if (a.sortedIndex != nullptr) {
    mem_free(a.sortedIndex);  // the folded keys with it
    a.sortedIndex = nullptr;
  }
  a.keys = PakNameKeys{};
}

int pak_entry_compare(const PakEntry* a, const PakEntry* b) {
  return pak_name_compare(a->name, b->name);
}

int pak_index_compare(const char* key, int position) {
  if (!slot_in_use(g_indexArchive)) return -1;
  const PakArchive& a = g_archives[g_indexArchive];
  if (a.sortedIndex == nullptr || position < 0 || position >= a.entryCount) return -1;
  const int32_t entry = a.sortedIndex[position];
  if (entry < 0 || entry >= a.capacity) return -1;
  return pak_name_compare(key, a.directory[entry].name);
}

int pak_index_compare_folded(const char* foldedKey, int position) {
  if (!slot_in_use(g_indexArchive)) return -1;
  const PakArchive& a = g_archives[g_indexArchive];
  if (a.keys.folded == nullptr || position < 0 || position >= a.entryCount) return -1;
  return memcmp(foldedKey, a.keys.folded + size_t(position) * PAK_NAME_SIZE, PAK_NAME_SIZE);
}

int pak_index_find_folded(int slot, const char* foldedKey) {
  if (!slot_in_use(slot)) return -1;
  const PakArchive& a = g_archives[slot];
  if (a.keys.folded == nullptr) return -1;
  for (uint32_t at = key_hash(foldedKey) & a.keys.mask;; at = (at + 1) & a.keys.mask) {
    const int32_t position = a.keys.table[at];
    if (position < 0 || position >= a.entryCount) return -1;
    if (memcmp(foldedKey, a.keys.folded + size_t(position) * PAK_NAME_SIZE, PAK_NAME_SIZE) == 0)
      return position;
  }
}
