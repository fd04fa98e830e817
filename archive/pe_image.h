// PE image headers, as far as the appended archive's search needs them: whether a file is a PE
// image, and where its certificate table (the security directory) says it lies. Each record is
// read as one block, and nothing past the optional header's security entry is read.
//
//   0x00      DOS header (64 bytes): 0 e_magic "MZ" | 0x3C e_lfanew u32, offset of the PE signature
//   e_lfanew  PE signature "PE\0\0" (4 bytes)
//   +4        COFF file header (20 bytes): 0 machine u16 | 2 sectionCount u16 | 4 timeDateStamp
//             u32 | 8 symbolTableOffset u32 | 12 symbolCount u32 | 16 optionalHeaderSize u16 |
//             18 characteristics u16
//   +24       optional header (optionalHeaderSize bytes): 0 magic u16, 0x10B (PE32) or 0x20B
//             (PE32+) | directoryCount u32 at 92 (PE32) or 108 (PE32+) | data directories of
//             8 bytes (address u32, size u32) from 96 (PE32) or 112 (PE32+). Entry 4 is the
//             certificate table; its address is a file offset, not a memory address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr size_t PE_DOS_HEADER_SIZE = 64;
constexpr size_t PE_FILE_HEADER_SIZE = 24;  // signature and COFF file header
constexpr size_t PE_DATA_DIRECTORY_SIZE = 8;
constexpr uint32_t PE_SECURITY_DIRECTORY = 4;

struct PeDosHeader {
  uint16_t magic;  // "MZ"
  uint8_t unused[58];
  uint32_t newHeaderOffset;  // e_lfanew
};
static_assert(sizeof(PeDosHeader) == PE_DOS_HEADER_SIZE, "DOS header is 64 bytes");

struct PeFileHeader {
  uint32_t signature;  // "PE\0\0"
  uint16_t machine;
  uint16_t sectionCount;
  uint32_t timeDateStamp;
  uint32_t symbolTableOffset;
  uint32_t symbolCount;
  uint16_t optionalHeaderSize;
  uint16_t characteristics;
};
static_assert(sizeof(PeFileHeader) == PE_FILE_HEADER_SIZE, "signature and COFF header: 24 bytes");

struct PeDataDirectory {
  uint32_t address;
  uint32_t size;
};
static_assert(sizeof(PeDataDirectory) == PE_DATA_DIRECTORY_SIZE, "data directory is 8 bytes");

PeDosHeader pe_dos_header_decode(const uint8_t* b);
PeFileHeader pe_file_header_decode(const uint8_t* b);
PeDataDirectory pe_data_directory_decode(const uint8_t* b);

enum class PeHeaders {
  NotPe,       // no "MZ" with a "PE\0\0" signature where it points
  Damaged,     // a PE signature whose optional header is of no known kind or leaves the file
  Image,       // a PE image: *security is its security directory (zero address and size: none)
  Unreadable,  // a read failed
};

struct PeSecurity {
  PeDataDirectory directory;
  int64_t headersEnd;  // file offset just past the optional header
};

// Reads count bytes at a file offset that lies within the file; false when that fails.
using PeRead = std::function<bool(int64_t position, uint8_t* buffer, size_t count)>;

// Reads the headers of a file of fileSize bytes.
PeHeaders pe_read_security(int64_t fileSize, const PeRead& read, PeSecurity* security);
