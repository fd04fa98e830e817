// pak info: an archive's header, where it starts in its file, whether the executable carrying
// it is signed, how many entries are live and deleted, and the bytes that compaction would give
// back; as text or one JSON object.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "tools/pak/archive_reader.h"
#include "tools/pak/manifest_view.h"
#include "tools/pak/pak_commands.h"

namespace {

struct Counts {
  int32_t live = 0;
  int32_t deleted = 0;
  int64_t deadBytes = 0;
};

// Dead bytes: member data that no live member covers (deleted and replaced members, gaps),
// the entries of deleted members in a plain directory, and bytes after the directory.
Counts count_entries(const ArchiveReader& reader) {
  Counts c;
  const PakHeader& h = reader.header();
  const int64_t dataEnd = h.directoryOffset;
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    if (e.offset == 0) {
      ++c.deleted;
      continue;
    }
    ++c.live;
    const int64_t from = std::max<int64_t>(e.offset, PAK_HEADER_SIZE);
    const int64_t to = std::min<int64_t>(int64_t(e.offset) + std::max(e.size, 0), dataEnd);
    if (from < to) spans.emplace_back(from, to);
  }
  std::sort(spans.begin(), spans.end());
  int64_t covered = 0;
  int64_t reach = PAK_HEADER_SIZE;
  for (const auto& [from, to] : spans) {
    const int64_t start = std::max(from, reach);
    if (to > start) covered += to - start;
    reach = std::max(reach, to);
  }
  c.deadBytes = std::max<int64_t>(dataEnd - int64_t(PAK_HEADER_SIZE) - covered, 0);

  const bool compressed = h.packedDirectorySize != 0;
  int64_t directoryBytes = 0;
  if (!compressed) {
    const int64_t entries = h.entryCount != 0 ? h.entryCount : PAK_EMPTY_DIRECTORY_ENTRIES;
    directoryBytes = entries * int64_t(PAK_ENTRY_SIZE);
    c.deadBytes += int64_t(c.deleted) * int64_t(PAK_ENTRY_SIZE);
  } else if (h.entryCount != 0) {
    directoryBytes = h.packedDirectorySize;
  } else {
    directoryBytes = reader.archive_bytes() - dataEnd;  // a fresh stream of unstated length
  }
  c.deadBytes += std::max<int64_t>(reader.archive_bytes() - dataEnd - directoryBytes, 0);
  return c;
}

// A mount letter as JSON text: the character whose code is the letter's byte value.
std::string letter_text(uint8_t letter) {
  if (letter < 0x80) return std::string(1, char(letter));
  return std::string{char(0xC0 | (letter >> 6)), char(0x80 | (letter & 0x3F))};
}

std::string magic_text(uint32_t magic) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = char((magic >> (8 * i)) & 0xFF);
    text += (c >= ' ' && c <= '~') ? c : '?';
  }
  return text;
}

}  // namespace

int run_info(const InfoOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.file, io)) return PAK_EXIT_FAILED;
  const PakHeader& h = reader.header();
  const Counts c = count_entries(reader);
  const int32_t base = reader.archive().baseOffset;
  const PakCertificates& signature = reader.location().certificates;

  DeltaManifest manifest;
  const ManifestFound found = read_manifest(reader, &manifest);
  if (options.json) {
    nlohmann::ordered_json info = {
        {"magic", magic_text(h.magic)},       {"entryCount", h.entryCount},
        {"directoryOffset", h.directoryOffset}, {"firstLetter", letter_text(h.firstLetter)},
        {"lastLetter", letter_text(h.lastLetter)}, {"userValue", h.userValue},
        {"packedDirectorySize", h.packedDirectorySize}, {"baseOffset", base},
        {"live", c.live},                     {"deleted", c.deleted},
        {"deadBytes", c.deadBytes},
        {"signature", signature.size == 0 ? nlohmann::ordered_json(nullptr)
                                          : nlohmann::ordered_json{{"offset", signature.offset},
                                                                   {"size", signature.size}}}};
    // An updater with deltas: its manifest ("damaged" when it does not decode).
    if (found != ManifestFound::None) {
      info["manifest"] = found == ManifestFound::Sound ? manifest_json(manifest) : nlohmann::ordered_json("damaged");
    }
    io.out << info.dump(2) << '\n';
    return PAK_EXIT_OK;
  }
  char userValue[32];
  std::snprintf(userValue, sizeof userValue, "%u (0x%08X)", unsigned(h.userValue),
                unsigned(h.userValue));
  const std::string letters = h.firstLetter == h.lastLetter
                                  ? letter_text(h.firstLetter)
                                  : letter_text(h.firstLetter) + " to " + letter_text(h.lastLetter);
  const std::string directory =
      h.packedDirectorySize == 0
          ? std::string("plain")
          : "compressed, " + std::to_string(h.packedDirectorySize) + " bytes in the header";
  io.out << "file              " << options.file << '\n'
         << "magic             " << magic_text(h.magic) << '\n'
         << "entries           " << h.entryCount << " (" << c.live << " live, " << c.deleted
         << " deleted)\n"
         << "directory offset  " << h.directoryOffset << '\n'
         << "directory         " << directory << '\n'
         << "mount letters     " << letters << '\n'
         << "user value        " << userValue << '\n'
         << "base offset       " << base << '\n'
         << "dead bytes        " << c.deadBytes << '\n'
         << "signature         "
         << (signature.size == 0 ? std::string("none")
                                 : "certificate table, " + std::to_string(signature.size) +
                                       " bytes at " + std::to_string(signature.offset))
         << '\n';
  if (found == ManifestFound::Damaged) io.out << "delta manifest    damaged\n";
  if (found == ManifestFound::Sound) {
    io.out << "delta manifest    " << manifest.count << " records\n";
    print_manifest(manifest, io.out);
  }
  return PAK_EXIT_OK;
}
