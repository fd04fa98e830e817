// Test archive builder: lays out header, member data and directory exactly as the store
// writes them, so tests and fuzz seeds can make any archive, sound or damaged, in code.
#include "support/pak_fixture.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "archive/masked_stream.h"

PakEntry pak_fixture_entry(const FixtureMember& member, int32_t offset) {
  PakEntry e{};
  e.size = int32_t(member.data.size());
  e.offset = member.deleted ? 0 : offset;
  e.tag = member.tag;
  std::memcpy(e.name, member.name.data(), std::min(member.name.size(), PAK_NAME_SIZE));
  return e;
}

Bytes pak_fixture_masked(const Bytes& content) {
  Bytes out(content.size() + content.size() / 2 + 64);
  const uint32_t length = masked_compress(out.data(), content.data(), uint32_t(content.size()),
                                          uint32_t(out.size()));
  if (length == 0) throw std::runtime_error("masked_compress failed");
  out.resize(length);
  return out;
}

FixtureLayout pak_fixture_build(const FixtureArchive& archive) {
  FixtureLayout layout;
  Bytes& out = layout.bytes;
  out.resize(PAK_HEADER_SIZE);

  Bytes directory;
  for (const FixtureMember& m : archive.members) {
    const int32_t offset = int32_t(out.size());
    layout.memberOffsets.push_back(offset);
    out.insert(out.end(), m.data.begin(), m.data.end());
    directory.resize(directory.size() + PAK_ENTRY_SIZE);
    const PakEntry e = pak_fixture_entry(m, offset);
    pak_entries_to_disk(directory.data() + directory.size() - PAK_ENTRY_SIZE, &e, 1);
  }

  PakHeader h{};
  h.magic = PAK_MAGIC;
  h.entryCount = int32_t(archive.members.size());
  h.directoryOffset = int32_t(out.size());
  h.firstLetter = archive.firstLetter;
  h.lastLetter = archive.lastLetter;
  h.userValue = archive.userValue;
  layout.directoryOffset = h.directoryOffset;

  const bool empty = archive.members.empty();
  if (empty) directory.assign(PAK_EMPTY_DIRECTORY_BYTES, 0);
  if (archive.compressed) {
    const Bytes stream = pak_fixture_masked(directory);
    h.packedDirectorySize = empty ? PAK_EMPTY_DIRECTORY_BYTES : int32_t(stream.size());
    out.insert(out.end(), stream.begin(), stream.end());
    layout.directorySize = int32_t(stream.size());
  } else {
    out.insert(out.end(), directory.begin(), directory.end());
    layout.directorySize = int32_t(directory.size());
  }
  out.insert(out.end(), archive.trailing.begin(), archive.trailing.end());

  const PakHeaderBytes header = pak_header_encode(h);
  std::copy(header.begin(), header.end(), out.begin());
  return layout;
}

Bytes pak_fixture_bytes(const FixtureArchive& archive) { return pak_fixture_build(archive).bytes; }

Bytes pak_fixture_append(const Bytes& executable, const Bytes& archive) {
  Bytes out = executable;
  out.insert(out.end(), archive.begin(), archive.end());
  uint8_t locator[PAK_LOCATOR_SIZE];
  pak_locator_encode(locator, uint32_t(executable.size()));
  out.insert(out.end(), std::begin(locator), std::end(locator));
  return out;
}

Bytes pak_fixture_executable(size_t length) {
  Bytes out(length);
  for (size_t i = 0; i < length; ++i) out[i] = uint8_t((i * 131u + 7u) >> 3);
  if (length >= 2) {
    out[0] = 'M';
    out[1] = 'Z';
  }
  return out;
}

Bytes pak_fixture_noise(size_t length, uint32_t seed) {
  Bytes out(length);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 24);
  }
  return out;
}

Bytes pak_fixture_member_record(const Bytes& content) {
  const Bytes stream = pak_fixture_masked(content);
  Bytes out(PAK_MEMBER_RECORD_HEADER_SIZE + stream.size());
  pak_member_record_encode(out.data(),
                           PakMemberRecord{uint32_t(content.size()), uint32_t(stream.size())});
  std::copy(stream.begin(), stream.end(), out.begin() + PAK_MEMBER_RECORD_HEADER_SIZE);
  return out;
}

bool write_file_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(file.flush());
}

Bytes read_file_bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }
