// pak verify: the directory read and every live member checked: within the member data, read
// whole, and a packed record inflating to exactly its unpacked size. One line per bad member.
#include "tools/pak/archive_reader.h"
#include "tools/pak/manifest_view.h"
#include "tools/pak/member_stream.h"
#include "tools/pak/name_codec.h"
#include "tools/pak/pak_commands.h"
#include "tools/pak/progress.h"

namespace {

bool discard(void*, const void*, int32_t) { return true; }

// A member too large to hold, inflated in chunks and its content dropped.
ArchiveReader::Content check_streamed(const ArchiveReader& reader, int32_t i, Progress* progress) {
  switch (stream_member(reader, i, false, ByteSink{discard, nullptr}, progress)) {
    case StreamResult::Ok:
      return ArchiveReader::Content::Ok;
    case StreamResult::Unreadable:
      return ArchiveReader::Content::Unreadable;
    default:
      return ArchiveReader::Content::Damaged;
  }
}

}  // namespace

int run_verify(const VerifyOptions& options, ToolIo& io) {
  ArchiveReader reader;
  if (!reader.open(options.archive, io)) return PAK_EXIT_FAILED;
  const NameCodec codec(options.rawNames);
  const int64_t dataEnd = reader.header().directoryOffset;
  int64_t total = 0;
  for (int32_t i = 0; i < reader.count(); ++i) {
    if (reader.entry(i).offset != 0) total += reader.entry(i).size;
  }

  int32_t members = 0;
  int32_t bad = 0;
  Progress progress(io, "verifying", total);
  for (int32_t i = 0; i < reader.count(); ++i) {
    const PakEntry& e = reader.entry(i);
    if (e.offset == 0) continue;
    ++members;
    const char* problem = nullptr;
    Bytes content;
    bool streamed = false;  // progress already counted chunk by chunk
    if (e.size < 0 || int64_t(e.offset) + e.size > dataEnd) {
      problem = "lies outside the member data";
    } else {
      streamed = member_streams(reader, i);
      switch (streamed ? check_streamed(reader, i, &progress) : reader.read_content(i, &content)) {
        case ArchiveReader::Content::Ok:
          break;
        case ArchiveReader::Content::Unreadable:
          problem = "cannot be read";
          break;
        case ArchiveReader::Content::Damaged:
          problem = "its packed record does not inflate to its unpacked size";
          break;
      }
    }
    if (problem != nullptr) {
      ++bad;
      std::string message = "\"";  // appended piece by piece: GCC 12 -O3 misreads a + chain
      message += codec.shown(reader.name(i));
      message += "\": ";
      message += problem;
      report(io, options.archive, message);
    }
    if (!streamed) progress.advance(e.size > 0 ? e.size : 0);
  }
  // An updater with deltas: its whole files, and its deltas for the bases given, rebuilt and
  // checked against the manifest's SHA-256.
  DeltaManifest manifest;
  int checked = 0;
  switch (read_manifest(reader, &manifest)) {
    case ManifestFound::None:
      if (!options.bases.empty()) return report(io, options.archive, "carries no deltas (no manifest)");
      break;
    case ManifestFound::Damaged:
      ++bad;
      report(io, options.archive, "\"#:\\Delta.MAN\" is not a sound manifest");
      break;
    case ManifestFound::Sound:
      bad += check_manifest(reader, manifest, options.bases, options.archive, &checked, io);
      break;
  }
  if (bad != 0) return PAK_EXIT_FAILED;
  io.out << options.archive << ": " << members << " members sound";
  if (checked != 0) io.out << ", " << checked << " manifest records checked";
  io.out << '\n';
  return PAK_EXIT_OK;
}
