// pak extract and pak cat: members unpacked (or as stored) into files below a folder, refusing
// names that would land outside it, or one member to standard output.
#include "tools/pak/archive_reader.h"
#include "tools/pak/extract_path.h"
#include "tools/pak/member_edit.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/progress.h"
#include "vfs/mount_path.h"

namespace {

constexpr uint32_t kMissing = 0xFFFFFFFFu;

bool is_folder(const std::string& path) {
  const uint32_t attributes = host_get_attributes(path.c_str());
  return attributes != kMissing && (attributes & HOST_ATTR_DIRECTORY) != 0;
}

// Makes the folder if it is not there yet.
bool ensure_folder(const std::string& path) {
  if (host_get_attributes(path.c_str()) == kMissing) host_make_dir(path.c_str());
  return is_folder(path);
}

// Writes the whole file; a file that could not be written whole is removed.
bool write_whole_file(const std::string& path, const Bytes& data) {
  const HostHandle file = host_create(path.c_str(), 0);
  if (file == HOST_INVALID_HANDLE) return false;
  bool ok = data.empty() || host_write(file, data.data(), int32_t(data.size())) ==
                                int32_t(data.size());
  ok = host_close(file) == 0 && ok;
  if (!ok) host_delete(path.c_str());
  return ok;
}

// The member's bytes as the command wants them, or false after reporting why not.
bool member_bytes(const ArchiveReader& reader, int32_t i, bool stored, const std::string& archive,
                  const std::string& shown, Bytes* out, ToolIo& io) {
  const ArchiveReader::Content got =
      stored ? (reader.read_stored(i, out) ? ArchiveReader::Content::Ok
                                           : ArchiveReader::Content::Unreadable)
             : reader.read_content(i, out);
  if (got == ArchiveReader::Content::Ok) return true;
  return fail(io, archive,
              "\"" + shown + "\": " +
                  (got == ArchiveReader::Content::Damaged ? "its packed record is damaged"
                                                          : "lies outside the archive's file"));
}

}  // namespace

int run_extract(const ExtractOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  std::vector<std::string> patterns;
  for (const std::string& p : options.patterns) {
    std::string pattern;
    if (!codec.to_archive(p, &pattern)) {
      return report(io, options.archive, "the pattern \"" + p + "\" has no code page 950 form");
    }
    patterns.push_back(pattern);
  }

  std::vector<int32_t> chosen;
  std::vector<bool> used(patterns.size(), false);
  int64_t total = 0;
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    if (e.offset == 0) continue;
    bool match = patterns.empty();
    for (size_t p = 0; p < patterns.size(); ++p) {
      if (match_wildcard_name(patterns[p].c_str(), e.name, int(PAK_NAME_SIZE)) == 0) {
        used[p] = true;
        match = true;
      }
    }
    if (!match) continue;
    chosen.push_back(i);
    total += e.size;
  }

  std::string folder = options.directory.empty() ? "." : options.directory;
  if (!ensure_folder(folder)) return report(io, folder, "is not a folder and cannot be made one");
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';

  int result = PAK_EXIT_OK;
  Progress progress(io, "extracting", total);
  for (const int32_t i : chosen) {
    const std::string stored = reader.name(i);
    const std::string shown = codec.shown(stored);
    std::string text;
    std::vector<std::string> parts;
    std::string problem;
    if (!codec.to_terminal(stored, &text)) {
      result = report(io, options.archive,
                      "\"" + shown + "\" has no file name in the terminal's encoding "
                      "(--raw-names keeps the bytes)");
      continue;
    }
    if (!member_output_parts(text, &parts, &problem)) {
      result = report(io, options.archive, "\"" + shown + "\" " + problem + ": not extracted");
      continue;
    }
    std::string path = folder;
    bool placed = true;
    for (size_t k = 0; k + 1 < parts.size() && placed; ++k) {
      path += parts[k];
      placed = ensure_folder(path);
      path += '/';
    }
    path += parts.back();
    Bytes data;
    if (!placed) {
      result = report(io, path, "its folder cannot be made");
    } else if (!member_bytes(reader, i, options.stored, options.archive, shown, &data, io)) {
      result = PAK_EXIT_FAILED;
    } else if (!write_whole_file(path, data)) {
      result = report(io, path, "cannot be written");
    }
    progress.advance(reader.entry(i).size);
  }
  for (size_t p = 0; p < patterns.size(); ++p) {
    if (!used[p]) {
      result = report(io, options.archive, "no member matches \"" + options.patterns[p] + "\"");
    }
  }
  return result;
}

int run_cat(const CatOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  std::string name;
  if (!codec.to_archive(options.name, &name)) {
    return report(io, options.archive, "\"" + options.name + "\" has no code page 950 form");
  }
  const int32_t i = find_live_member(reader.archive(), name);
  if (i < 0) return report(io, options.archive, "no member named \"" + options.name + "\"");
  Bytes data;
  if (!member_bytes(reader, i, false, options.archive, options.name, &data, io)) {
    return PAK_EXIT_FAILED;
  }
  io.out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  io.out.flush();
  if (!io.out) return report(io, options.archive, "standard output cannot be written");
  return PAK_EXIT_OK;
}
