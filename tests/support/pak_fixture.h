// Builds PAK archive files for tests: members with given names and bytes, a plain or
// compressed directory, deleted entries, trailing bytes, and the form appended to an executable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/pak_format.h"

using Bytes = std::vector<uint8_t>;

struct FixtureMember {
  std::string name;   // up to 40 bytes copied into the name field; shorter names get a NUL
  Bytes data;         // the member's bytes, written back to back after the header
  bool deleted = false;  // entry written with offset 0 (its data still take their place)
  uint32_t tag = 0;
};

struct FixtureArchive {
  uint8_t firstLetter = '@';
  uint8_t lastLetter = '@';
  uint32_t userValue = 0;
  bool compressed = false;
  std::vector<FixtureMember> members;
  Bytes trailing;  // bytes after the directory, which readers ignore
};

// Where each part of a built archive lies, offsets from the archive start.
struct FixtureLayout {
  Bytes bytes;
  int32_t directoryOffset = 0;
  int32_t directorySize = 0;        // bytes of the stored directory (the stream when compressed)
  std::vector<int32_t> memberOffsets;  // file place of each member's data, deleted ones too
};

// The archive's bytes. With no members, the empty directory of a freshly created archive:
// 4096 zero bytes, or their masked stream with 4096 in the header's packed size.
FixtureLayout pak_fixture_build(const FixtureArchive& archive);
Bytes pak_fixture_bytes(const FixtureArchive& archive);

// The directory entry a member becomes (offset 0 when deleted).
PakEntry pak_fixture_entry(const FixtureMember& member, int32_t offset);

// Executable bytes followed by the archive and the four-byte locator holding the
// executable's length.
Bytes pak_fixture_append(const Bytes& executable, const Bytes& archive);

// Some bytes that look like an executable's start, of the given length.
Bytes pak_fixture_executable(size_t length);

// A masked stream of the given bytes (default level), as the store writes one.
Bytes pak_fixture_masked(const Bytes& content);

// A packed member record: unpacked size, packed size and the masked stream of the content.
Bytes pak_fixture_member_record(const Bytes& content);

// length bytes that do not compress, the same for the same seed.
Bytes pak_fixture_noise(size_t length, uint32_t seed);

// Whole-file helpers that do not go through the host layer, so failures injected there do not
// disturb fixtures. write returns false when the file could not be written whole.
bool write_file_bytes(const std::string& path, const Bytes& bytes);
Bytes read_file_bytes(const std::string& path);

// Bytes from a string's characters.
Bytes bytes_of(const std::string& text);
