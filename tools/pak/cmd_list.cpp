// pak list: the members in directory order (deleted entries too with --all) as aligned columns
// or as one JSON array; names converted to the terminal's encoding.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>

#include "tools/pak/archive_reader.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"

namespace {

struct Row {
  std::string name;  // terminal encoding
  int32_t size;
  int32_t offset;
  uint32_t tag;
  bool deleted;
  std::optional<uint32_t> unpacked;  // only for packed records
};

// Columns a string takes on a terminal: East Asian wide characters take two. Bytes that are
// not UTF-8 count one each.
size_t display_width(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    uint32_t code = c;
    if (length > 1 && i + length <= text.size()) {
      code = c & (0x3F >> (length - 1));
      for (size_t k = 1; k < length; ++k) code = code << 6 | (text[i + k] & 0x3F);
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

void print_table(const std::vector<Row>& rows, std::ostream& out) {
  const std::string headings[] = {"name", "size", "unpacked", "offset"};
  size_t nameWidth = headings[0].size();
  size_t numberWidth = headings[2].size();
  for (const Row& r : rows) {
    nameWidth = std::max(nameWidth, display_width(r.name));
    numberWidth = std::max({numberWidth, std::to_string(r.size).size(),
                            std::to_string(r.offset).size(),
                            r.unpacked ? std::to_string(*r.unpacked).size() : 0});
  }
  const auto pad_left = [&](const std::string& s) {
    return std::string(numberWidth > s.size() ? numberWidth - s.size() : 0, ' ') + s;
  };
  const auto name_cell = [&](const std::string& s) {
    return s + std::string(nameWidth - display_width(s), ' ');
  };
  out << name_cell(headings[0]) << "  " << pad_left(headings[1]) << "  " << pad_left(headings[2])
      << "  " << pad_left(headings[3]) << '\n';
  for (const Row& r : rows) {
    out << name_cell(r.name) << "  " << pad_left(std::to_string(r.size)) << "  "
        << pad_left(r.unpacked ? std::to_string(*r.unpacked) : "-") << "  "
        << pad_left(std::to_string(r.offset));
    if (r.deleted) out << "  deleted";
    out << '\n';
  }
}

bool print_json(const std::vector<Row>& rows, std::ostream& out) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Row& r : rows) {
    list.push_back({{"name", r.name},
                    {"size", r.size},
                    {"offset", r.offset},
                    {"tag", r.tag},
                    {"deleted", r.deleted},
                    {"unpacked", r.unpacked ? nlohmann::ordered_json(*r.unpacked) : nullptr}});
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
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    const bool deleted = e.offset == 0;
    if (deleted && !options.all) continue;
    Row row{{}, e.size, e.offset, e.tag, deleted, std::nullopt};
    const std::string stored = reader.name(i);
    if (!codec.to_terminal(stored, &row.name)) {
      result = report(io, options.archive,
                      "the name \"" + codec.shown(stored) +
                          "\" has no form in the terminal's encoding (--raw-names shows bytes)");
      continue;
    }
    PakMemberRecord record{};
    if (!deleted && reader.packed_record(i, &record)) row.unpacked = record.unpackedSize;
    rows.push_back(std::move(row));
  }
  if (!options.json) {
    print_table(rows, io.out);
  } else if (!print_json(rows, io.out)) {
    return report(io, options.archive, "names are not UTF-8: JSON needs names without --raw-names");
  }
  return result;
}
