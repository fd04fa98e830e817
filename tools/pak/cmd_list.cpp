// pak list: the members in directory order (deleted entries too with --all) as aligned columns
// or as one JSON array; names converted to the terminal's encoding.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

#include "tools/pak/archive_reader.h"
#include "tools/pak/manifest_view.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/record_heads.h"

namespace {

struct Row {
  std::string name;  // terminal encoding, or UTF-8 for JSON
  int32_t size;
  int32_t offset;
  uint32_t tag;
  bool deleted;
  std::optional<uint32_t> unpacked;  // only for packed records
};

void print_table(const std::vector<Row>& rows, std::ostream& out) {
  // Every cell's text and the name's width in columns, worked out once.
  struct Cells {
    size_t nameColumns;
    std::string size, unpacked, offset;
  };
  const std::string headings[] = {"name", "size", "unpacked", "offset"};
  std::vector<Cells> cells;
  cells.reserve(rows.size());
  size_t nameWidth = headings[0].size();
  size_t numberWidth = headings[2].size();
  for (const Row& r : rows) {
    cells.push_back({terminal_columns(r.name), std::to_string(r.size),
                     r.unpacked ? std::to_string(*r.unpacked) : "-", std::to_string(r.offset)});
    const Cells& c = cells.back();
    nameWidth = std::max(nameWidth, c.nameColumns);
    numberWidth = std::max({numberWidth, c.size.size(), c.offset.size(), c.unpacked.size()});
  }
  std::string line;
  const auto pad_left = [&](const std::string& s) {
    line.append(numberWidth > s.size() ? numberWidth - s.size() : 0, ' ');
    line += s;
  };
  const auto put_row = [&](const std::string& name, const Cells& c, bool deleted) {
    line.clear();
    line += name;
    line.append(nameWidth - c.nameColumns + 2, ' ');
    pad_left(c.size);
    line += "  ";
    pad_left(c.unpacked);
    line += "  ";
    pad_left(c.offset);
    if (deleted) line += "  deleted";
    line += '\n';
    out.write(line.data(), std::streamsize(line.size()));
  };
  put_row(headings[0], Cells{headings[0].size(), headings[1], headings[2], headings[3]}, false);
  for (size_t i = 0; i < rows.size(); ++i) put_row(rows[i].name, cells[i], rows[i].deleted);
}

// manifest: the delta manifest's records, put on the manifest member's row when given.
bool print_json(const std::vector<Row>& rows, const nlohmann::ordered_json* manifest, std::ostream& out) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Row& r : rows) {
    list.push_back({{"name", r.name},
                    {"size", r.size},
                    {"offset", r.offset},
                    {"tag", r.tag},
                    {"deleted", r.deleted},
                    {"unpacked", r.unpacked ? nlohmann::ordered_json(*r.unpacked) : nullptr}});
    if (manifest != nullptr && !r.deleted && r.name == DELTA_MANIFEST_MEMBER) list.back()["manifest"] = *manifest;
  }
  try {
    out << list.dump(2) << '\n';
  } catch (const nlohmann::json::type_error&) {
    return false;  // a raw name that is not UTF-8
  }
  return true;
}

}  // namespace

int run_list(const ListOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  int result = PAK_EXIT_OK;
  std::vector<Row> rows;
  rows.reserve(size_t(reader.count()));
  const std::vector<std::optional<PakMemberRecord>> heads = read_record_heads(reader);
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    const bool deleted = e.offset == 0;
    if (deleted && !options.all) continue;
    Row row{{}, e.size, e.offset, e.tag, deleted, std::nullopt};
    const std::string stored = reader.name(i);
    const bool converted = options.json ? codec.to_utf8(stored, &row.name)
                                        : codec.to_terminal(stored, &row.name);
    if (!converted) {
      result = report(io, options.archive,
                      "the name \"" + codec.shown(stored) +
                          "\" has no form in the terminal's encoding (--raw-names shows bytes)");
      continue;
    }
    if (!deleted && heads[size_t(i)]) row.unpacked = heads[size_t(i)]->unpackedSize;
    rows.push_back(std::move(row));
  }
  DeltaManifest manifest;
  const bool withManifest = read_manifest(reader, &manifest) == ManifestFound::Sound;
  const nlohmann::ordered_json records = withManifest ? manifest_json(manifest) : nlohmann::ordered_json();
  if (!options.json) {
    print_table(rows, io.out);
    if (withManifest) {
      io.out << "\ndelta manifest (" << DELTA_MANIFEST_MEMBER << ")\n";
      print_manifest(manifest, io.out);
    }
  } else if (!print_json(rows, withManifest ? &records : nullptr, io.out)) {
    return report(io, options.archive, "names are not UTF-8: JSON needs names without --raw-names");
  }
  return result;
}
