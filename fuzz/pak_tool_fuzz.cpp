// Fuzz target for the pak tool's reading of hostile archives: the input after its first byte is
// an archive (or, first byte odd, an executable carrying one) in the in-memory host, which one
// command reads: `list` (table or JSON, deleted entries too or not), `verify`, `extract`
// (unpacked or as stored, into an in-memory folder) or `cat`. The archive stays as it was; extraction
// writes nothing outside its folder, whatever the member names; and every file it leaves, and
// every member `cat` writes out, holds exactly some live member's bytes (as stored, or a packed
// record's content as an independent inflate gives it): never a damaged or cut-short member.
//
// First byte: bit 0 executable, bit 1 raw names, bit 2 extract as stored, bit 3 list deleted
// entries too, bit 4 list as JSON, bits 5 and 6 the command (list, verify, extract, cat).
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/pak_table.h"
#include "masked_model.h"
#include "support/host_override.h"
#include "support/memory_host.h"
#include "tools/pak/archive_reader.h"
#include "tools/pak/pak_commands.h"

namespace {

constexpr char kFolder[] = "out";
enum Command { kList, kVerify, kExtract, kCat };

// A path the extraction may have written: "out/" and then plain names separated by '/'.
bool inside_folder(const std::string& path) {
  const std::string prefix = std::string(kFolder) + "/";
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  std::string rest = path.substr(prefix.size()) + "/";
  for (size_t from = 0, slash; (slash = rest.find('/', from)) != std::string::npos;
       from = slash + 1) {
    const std::string part = rest.substr(from, slash - from);
    if (part.empty() || part == "." || part == ".." ||
        part.find_first_of("\\:") != std::string::npos)
      return false;
  }
  return true;
}

using Bytes = std::vector<uint8_t>;

// What the live members hold: their stored bytes, or (unpacked) their content, where a member
// the tool takes for a packed record holds what the independent inflate gives, and nothing
// when that refuses it. Also the live members' names.
struct LiveMembers {
  std::set<Bytes> contents;
  std::set<std::string> names;
};

LiveMembers live_members(const std::string& archive, bool stored) {
  LiveMembers live;
  std::ostringstream out, err;
  ToolIo io{out, err, false};
  ArchiveReader reader;
  if (!reader.open(archive, io)) return live;
  for (int32_t i = 0; i < reader.count(); ++i) {
    if (reader.entry(i).offset == 0) continue;  // deleted
    live.names.insert(reader.name(i));
    Bytes bytes;
    if (!reader.read_stored(i, &bytes)) continue;
    PakMemberRecord record;
    if (stored || !reader.packed_record(i, &record)) {
      live.contents.insert(bytes);
    } else if (const std::optional<Bytes> content =
                   record_content(bytes, uint32_t(memory_host::FILE_LIMIT))) {
      live.contents.insert(*content);
    }
  }
  return live;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string archive = (flags & 1) ? "in.exe" : "in.pak";
  const std::vector<uint8_t> bytes(data + 1, data + size);
  memory_host::install();
  memory_host::put(archive, bytes);

  std::ostringstream out, err;
  ToolIo io{out, err, false};
  const bool raw = (flags & 2) != 0;
  const bool stored = (flags & 4) != 0;
  switch ((flags >> 5) & 3) {
    case kList: {
      ListOptions list;
      list.archive = archive;
      list.all = (flags & 8) != 0;
      list.json = (flags & 16) != 0;
      list.rawNames = raw;
      run_list(list, io);
      break;
    }
    case kVerify: {
      VerifyOptions verify;
      verify.archive = archive;
      verify.rawNames = raw;
      run_verify(verify, io);
      break;
    }
    case kExtract: {
      ExtractOptions extract;
      extract.archive = archive;
      extract.directory = kFolder;
      extract.stored = stored;
      extract.threads = 1;  // unpacked inline: no threads started for every input
      extract.rawNames = raw;
      run_extract(extract, io);
      const LiveMembers live = live_members(archive, stored);
      for (const auto& [name, content] : memory_host::files()) {
        if (name == archive) continue;
        if (!inside_folder(name)) abort();                  // written outside the folder
        if (live.contents.count(content) == 0) abort();  // a file that holds no member's bytes
      }
      break;
    }
    case kCat: {
      const LiveMembers live = live_members(archive, false);
      // A few names: each cat opens the archive afresh.
      int catted = 0;
      for (auto name = live.names.begin(); name != live.names.end() && catted < 4;
           ++name, ++catted) {
        std::ostringstream catOut;
        ToolIo catIo{catOut, err, false};
        CatOptions cat;
        cat.archive = archive;
        cat.name = *name;
        cat.rawNames = true;
        if (run_cat(cat, catIo) != 0) continue;
        const std::string text = catOut.str();
        if (live.contents.count(Bytes(text.begin(), text.end())) == 0) abort();
      }
      break;
    }
  }
  const std::vector<uint8_t>* after = memory_host::find(archive);
  if (after == nullptr || *after != bytes) abort();  // a reading command changed the archive
  if (g_archiveTop != 0) abort();
  host_restore_all();
  return 0;
}
