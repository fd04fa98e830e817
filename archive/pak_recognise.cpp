// Archive recognition, in the order a reader meets the bytes:
//
//   appended form: file size >= 4 | u32 locator S at size-4 | S = 0, or S + 24 <= size - 4
//   signed form:   a PE image whose certificate table (security directory) ends the file:
//                  [executable][archive][u32 locator S][0-7 zero bytes][certificate table]
//                  the locator is taken just before the table, after 0 to 7 zero bytes; a
//                  place counts when the archive it names is sound and lies wholly before it,
//                  and exactly one place must count
//   then at S:     24 header bytes | magic "PAKS" | entryCount, packedDirectorySize >= 0
//                  24 <= directoryOffset, S + directoryOffset < end of the archive's bytes
//
// The first check that fails names the refusal. Nothing is read from the certificate table or
// after it, and nothing is allocated.
#include "archive/pak_recognise.h"

#include <algorithm>

#include "archive/pe_image.h"

namespace {

// Zero bytes a signing tool may put between the file's old end and its certificate table, which
// starts at a multiple of 8.
constexpr int64_t kMaxSigningPadding = 7;
// A certificate table holds at least one certificate header (length, revision, type).
constexpr int64_t kCertificateHeaderSize = 8;

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

// Reads and checks the header at at->baseOffset, the archive's bytes ending at at->end.
PakRefusal read_header(HostHandle file, PakLocation* at) {
  if (int64_t(at->baseOffset) + int64_t(PAK_HEADER_SIZE) > at->end) return PakRefusal::NoHeader;
  PakHeaderBytes bytes{};
  if (!read_at(file, at->baseOffset, bytes.data(), int32_t(bytes.size())))
    return PakRefusal::Unreadable;
  at->header = pak_header_decode(bytes);
  return check_header(*at);
}

// The archive that a locator at locatorAt names, when it is sound and lies wholly before it.
PakRefusal signed_candidate(HostHandle file, int64_t locatorAt, const uint8_t* locator,
                            PakLocation* at) {
  const int64_t start = pak_locator_decode(locator);
  if (start + int64_t(PAK_HEADER_SIZE) > locatorAt) return PakRefusal::LocatorOutside;
  at->baseOffset = int32_t(start);
  at->end = locatorAt;
  const PakRefusal checked = read_header(file, at);
  if (checked != PakRefusal::None) return checked;
  const int64_t directoryEnd =
      start + at->header.directoryOffset + pak_directory_stored_bytes(at->header);
  return directoryEnd <= locatorAt ? PakRefusal::None : PakRefusal::DamagedDirectory;
}

// Finds the one archive whose locator lies just before the certificate table, allowing the
// zero bytes of padding a signing tool inserts.
PakRefusal locate_signed(HostHandle file, PakLocation* out) {
  const int64_t tableAt = out->certificates.offset;
  uint8_t tail[kMaxSigningPadding + PAK_LOCATOR_SIZE];
  const int64_t from = std::max<int64_t>(tableAt - int64_t(sizeof tail), 0);
  if (!read_at(file, from, tail, int32_t(tableAt - from))) return PakRefusal::Unreadable;
  int found = 0;
  PakLocation chosen{};
  for (int64_t padding = 0; padding <= kMaxSigningPadding; ++padding) {
    const int64_t locatorAt = tableAt - padding - int64_t(PAK_LOCATOR_SIZE);
    if (locatorAt < 0) break;
    // Each longer padding takes in one more byte before the table; it must be zero.
    if (padding > 0 && tail[tableAt - padding - from] != 0) break;
    PakLocation at = *out;
    if (signed_candidate(file, locatorAt, tail + (locatorAt - from), &at) == PakRefusal::None) {
      ++found;
      chosen = at;
    }
  }
  if (found == 0) return PakRefusal::NoSignedLocator;
  if (found > 1) return PakRefusal::SeveralLocators;
  *out = chosen;
  return PakRefusal::None;
}

}  // namespace

PakRefusal pak_find_certificates(HostHandle file, int64_t fileSize, PakCertificates* out) {
  *out = PakCertificates{};
  PeSecurity security{};
  const PeRead read = [file](int64_t position, uint8_t* buffer, size_t count) {
    return read_at(file, position, buffer, int32_t(count));
  };
  switch (pe_read_security(fileSize, read, &security)) {
    case PeHeaders::NotPe:
      return PakRefusal::None;
    case PeHeaders::Unreadable:
      return PakRefusal::Unreadable;
    case PeHeaders::Damaged:
      return PakRefusal::BadPeHeader;
    case PeHeaders::Image:
      break;
  }
  const int64_t offset = security.directory.address;
  const int64_t size = security.directory.size;
  if (offset == 0 && size == 0) return PakRefusal::None;
  if (size < kCertificateHeaderSize || offset < security.headersEnd || offset + size > fileSize)
    return PakRefusal::CertificatesOutside;
  if (offset + size != fileSize) return PakRefusal::CertificatesNotLast;
  *out = PakCertificates{offset, size};
  return PakRefusal::None;
}

PakRefusal pak_recognise_file(HostHandle file, bool appended, PakLocation* out) {
  PakLocation at{};
  at.fileSize = host_size(file);
  if (at.fileSize < 0) return PakRefusal::Unreadable;
  at.end = at.fileSize;
  PakRefusal checked = PakRefusal::None;
  if (appended) {
    const PakRefusal signature = pak_find_certificates(file, at.fileSize, &at.certificates);
    if (signature != PakRefusal::None) return signature;
  }
  if (at.certificates.size != 0) {
    checked = locate_signed(file, &at);  // reads and checks the header of the one it finds
  } else {
    checked = appended ? locate_appended(file, &at) : PakRefusal::None;
    if (checked == PakRefusal::None) checked = read_header(file, &at);
  }
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
    case PakRefusal::BadPeHeader: return "its executable headers are damaged";
    case PakRefusal::CertificatesOutside:
      return "its certificate table lies outside the file or over its headers";
    case PakRefusal::CertificatesNotLast: return "its certificate table does not end the file";
    case PakRefusal::NoSignedLocator: return "no archive locator before its certificate table";
    case PakRefusal::SeveralLocators:
      return "more than one archive could be meant before its certificate table";
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
