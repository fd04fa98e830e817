// Reading a PE image's headers record by record, every offset checked against the file's size
// before it is read; the layout is drawn in pe_image.h.
#include "archive/pe_image.h"

#include <algorithm>

#include "archive/pak_format.h"

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr size_t kNewHeaderOffsetAt = 0x3C;

// Where the two kinds of optional header keep their directory count and directories.
struct OptionalLayout {
  uint16_t magic;
  size_t countAt;
  size_t directoriesAt;
};
constexpr OptionalLayout kOptionalLayouts[] = {{0x10B, 92, 96}, {0x20B, 108, 112}};
// The optional header's bytes up to the end of the security entry in the larger kind.
constexpr size_t kOptionalReadRoom = 112 + (PE_SECURITY_DIRECTORY + 1) * PE_DATA_DIRECTORY_SIZE;

uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

PeDosHeader pe_dos_header_decode(const uint8_t* b) {
  PeDosHeader h{};
  h.magic = load_le16(b);
  h.newHeaderOffset = load_le32(b + kNewHeaderOffsetAt);
  return h;
}

PeFileHeader pe_file_header_decode(const uint8_t* b) {
  PeFileHeader h{};
  h.signature = load_le32(b);
  h.machine = load_le16(b + 4);
  h.sectionCount = load_le16(b + 6);
  h.timeDateStamp = load_le32(b + 8);
  h.symbolTableOffset = load_le32(b + 12);
  h.symbolCount = load_le32(b + 16);
  h.optionalHeaderSize = load_le16(b + 20);
  h.characteristics = load_le16(b + 22);
  return h;
}

PeDataDirectory pe_data_directory_decode(const uint8_t* b) {
  return PeDataDirectory{load_le32(b), load_le32(b + 4)};
}

PeHeaders pe_read_security(int64_t fileSize, const PeRead& read, PeSecurity* security) {
  if (fileSize < int64_t(PE_DOS_HEADER_SIZE)) return PeHeaders::NotPe;
  uint8_t dosBytes[PE_DOS_HEADER_SIZE];
  if (!read(0, dosBytes, sizeof dosBytes)) return PeHeaders::Unreadable;
  const PeDosHeader dos = pe_dos_header_decode(dosBytes);
  if (dos.magic != kDosMagic) return PeHeaders::NotPe;
  const int64_t fileHeaderAt = dos.newHeaderOffset;
  if (fileHeaderAt + int64_t(PE_FILE_HEADER_SIZE) > fileSize) return PeHeaders::NotPe;
  uint8_t fileBytes[PE_FILE_HEADER_SIZE];
  if (!read(fileHeaderAt, fileBytes, sizeof fileBytes)) return PeHeaders::Unreadable;
  const PeFileHeader file = pe_file_header_decode(fileBytes);
  if (file.signature != kPeSignature) return PeHeaders::NotPe;

  // From here on the file says it is a PE image, so what does not fit is damage. The optional
  // header is read as far as the security entry goes in the larger kind.
  const int64_t optionalAt = fileHeaderAt + int64_t(PE_FILE_HEADER_SIZE);
  const int64_t optionalEnd = optionalAt + file.optionalHeaderSize;
  if (file.optionalHeaderSize < 2 || optionalEnd > fileSize) return PeHeaders::Damaged;
  uint8_t optional[kOptionalReadRoom] = {};
  const size_t optionalBytes = std::min<size_t>(file.optionalHeaderSize, sizeof optional);
  if (!read(optionalAt, optional, optionalBytes)) return PeHeaders::Unreadable;
  const uint16_t magic = load_le16(optional);
  const OptionalLayout* layout = nullptr;
  for (const OptionalLayout& l : kOptionalLayouts) {
    if (l.magic == magic) layout = &l;
  }
  if (layout == nullptr || layout->countAt + 4 > optionalBytes) return PeHeaders::Damaged;

  security->headersEnd = optionalEnd;
  security->directory = PeDataDirectory{0, 0};
  const uint32_t count = load_le32(optional + layout->countAt);
  if (count <= PE_SECURITY_DIRECTORY) return PeHeaders::Image;  // no such entry: unsigned
  const size_t entryAt = layout->directoriesAt + PE_SECURITY_DIRECTORY * PE_DATA_DIRECTORY_SIZE;
  if (entryAt + PE_DATA_DIRECTORY_SIZE > optionalBytes) return PeHeaders::Damaged;
  security->directory = pe_data_directory_decode(optional + entryAt);
  return PeHeaders::Image;
}
