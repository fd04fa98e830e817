// Archive recognition, in the order a reader meets the bytes:
//
//   appended form: file size >= 4 | u32 locator S at size-4 | S = 0, or S + 24 <= size - 4
//   then at S:     24 header bytes | magic "PAKS" | entryCount, packedDirectorySize >= 0
//                  24 <= directoryOffset, S + directoryOffset < end of the archive's bytes
//
// The first check that fails names the refusal. Nothing is allocated.
#include "archive/pak_recognise.h"

namespace {

bool read_at(HostHandle file, int64_t position, void* buffer, int32_t count) {
  return position >= 0 && position <= HOST_MAX_FILE_SIZE &&
         host_seek(file, int32_t(position), HOST_SEEK_BEGIN) == position &&
         host_read(file, buffer, count) == count;
}

// Finds the archive start through the trailing locator; sets out->baseOffset and out->end.
PakRefusal locate_appended(HostHandle file, PakLocation* out) {
  if (out->fileSize < int64_t(PAK_LOCATOR_SIZE)) return PakRefusal::NoLocator;
  const int64_t locatorAt = out->fileSize - int64_t(PAK_LOCATOR_SIZE);
  uint8_t locator[PAK_LOCATOR_SIZE];
  if (!read_at(file, locatorAt, locator, sizeof locator)) return PakRefusal::Unreadable;
  const int64_t start = pak_locator_decode(locator);
  // A start of 0 is an archive that takes the whole file, locator bytes included; any other
  // start must leave room for a whole header before the locator.
  if (start == 0) return PakRefusal::None;
  if (start + int64_t(PAK_HEADER_SIZE) > locatorAt) return PakRefusal::LocatorOutside;
  out->baseOffset = int32_t(start);
  out->end = locatorAt;
  return PakRefusal::None;
}

PakRefusal check_header(const PakLocation& at) {
  const PakHeader& h = at.header;
  if (h.magic != PAK_MAGIC) return PakRefusal::BadMagic;
  if (h.entryCount < 0 || h.packedDirectorySize < 0) return PakRefusal::DamagedHeader;
  // The directory lies after the header; a smaller offset would have a flush overwrite it.
  if (h.directoryOffset < int32_t(PAK_HEADER_SIZE) ||
      int64_t(at.baseOffset) + h.directoryOffset >= at.end)
    return PakRefusal::DirectoryOutside;
  return PakRefusal::None;
}

}  // namespace

PakRefusal pak_recognise_file(HostHandle file, bool appended, PakLocation* out) {
  PakLocation at{};
  at.fileSize = host_size(file);
  if (at.fileSize < 0) return PakRefusal::Unreadable;
  at.end = at.fileSize;
  if (appended) {
    const PakRefusal located = locate_appended(file, &at);
    if (located != PakRefusal::None) return located;
  }
  if (int64_t(at.baseOffset) + int64_t(PAK_HEADER_SIZE) > at.end) return PakRefusal::NoHeader;
  PakHeaderBytes bytes{};
  if (!read_at(file, at.baseOffset, bytes.data(), int32_t(bytes.size())))
    return PakRefusal::Unreadable;
  at.header = pak_header_decode(bytes);
  const PakRefusal checked = check_header(at);
  if (checked == PakRefusal::None && out != nullptr) *out = at;
  return checked;
}

PakRefusal pak_recognise(const char* path, PakLocation* out) {
  if (path == nullptr) return PakRefusal::NoSuchFile;
  // Only a path the host says is not there is absent; a look that failed is no answer.
  uint32_t attributes = 0;
  const int found = host_lookup(path, &attributes);
  if (found == HOST_ABSENT) return PakRefusal::NoSuchFile;
  if (found != HOST_FOUND) return PakRefusal::Unreadable;
  if ((attributes & HOST_ATTR_DIRECTORY) != 0) return PakRefusal::IsFolder;
  const HostHandle file = host_open(path, HOST_MODE_READ);
  if (file == HOST_INVALID_HANDLE) return PakRefusal::Unreadable;
  const PakRefusal why = pak_recognise_file(file, pak_path_is_executable(path), out);
  host_close(file);
  return why;
}

const char* pak_refusal_text(PakRefusal why) {
  switch (why) {
    case PakRefusal::None: return "";
    case PakRefusal::NoSuchFile: return "no such file";
    case PakRefusal::IsFolder: return "is a folder";
    case PakRefusal::Unreadable: return "cannot be read";
    case PakRefusal::NoLocator: return "no archive locator at the end";
    case PakRefusal::LocatorOutside: return "the archive locator at the end points outside the file";
    case PakRefusal::NoHeader: return "too short to hold a PAK header";
    case PakRefusal::BadMagic: return "not a PAK archive (no \"PAKS\" header)";
    case PakRefusal::DamagedHeader: return "its header is damaged (a negative count or size)";
    case PakRefusal::DirectoryOutside: return "its directory offset lies outside the archive";
    case PakRefusal::DamagedDirectory: return "its directory is damaged";
    case PakRefusal::NoMemory: return "not enough memory for its directory";
    case PakRefusal::CarrierReadOnly:
      return "the archive an executable carries can be read but not changed";
    case PakRefusal::NoFreeSlot: return "too many archives open";
  }
  return "not a PAK archive";
}
