// Reading, showing and checking an updater's delta manifest in the tool.
#include "tools/pak/manifest_view.h"

#include <cstring>

#include "archive/delta_decode.h"
#include "host/host_hash.h"
#include "tools/pak/add_pipeline.h"
#include "tools/pak/delta_build.h"

namespace {

const char* const kFileNames[DELTA_FILE_COUNT] = {"Velmor.EXE", "Update.PAK"};
const char* const kWholeMembers[DELTA_FILE_COUNT] = {"#:\\Velmor.EXE", "#:\\Update.PAK"};

int32_t find_member(const ArchiveReader& reader, const char* name) {
  for (int32_t i = 0; i < reader.count(); ++i) {
    if (reader.entry(i).offset != 0 && reader.name(i) == name) return i;
  }
  return -1;
}

std::string hex(const uint8_t* digest) {
  char text[HOST_SHA256_TEXT_ROOM];
  host_sha256_text(digest, text);
  return text;
}

std::string delta_name(const ManifestRecord& r) {
  char name[DELTA_MEMBER_NAME_ROOM] = "";
  delta_member_name(kWholeMembers[r.file], r.base, name, sizeof name);
  return name;
}

// "\"NAME\" what", appended piece by piece: GCC 12 -O3 misreads a + chain.
std::string quoted(const std::string& name, const char* what) {
  std::string message = "\"";
  message += name;
  message += "\" ";
  message += what;
  return message;
}

bool digest_of(const Bytes& bytes, uint8_t* out) {
  HostSha256* d = host_sha256_begin();
  if (d == nullptr) return false;
  const bool added = host_sha256_add(d, bytes.data(), bytes.size()) == 0;
  return host_sha256_end(d, out) == 0 && added;
}

bool read_base(void* context, uint32_t offset, void* buffer, int32_t count) {
  const Bytes& base = *static_cast<const Bytes*>(context);
  if (size_t(offset) + size_t(count) > base.size()) return false;
  memcpy(buffer, base.data() + offset, size_t(count));
  return true;
}

bool collect(void* context, const void* data, int32_t count) {
  auto* out = static_cast<Bytes*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + count);
  return true;
}

// Rebuilds the record's new file from its base into out: "" or what is wrong.
std::string rebuild(const ArchiveReader& reader, const ManifestRecord& r, const std::string& folder, Bytes* out) {
  const std::string basePath = base_file_path(folder, kFileNames[r.file]);
  Bytes base;
  uint8_t digest[DELTA_SHA256_SIZE];
  if (!read_whole_file(basePath, &base)) return quoted(basePath, "cannot be read");
  if (!digest_of(base, digest)) return "no SHA-256";
  if (base.size() != r.baseSize || memcmp(digest, r.baseSha256, DELTA_SHA256_SIZE) != 0)
    return quoted(basePath, "is not the base the delta was made from");
  const int32_t member = find_member(reader, delta_name(r).c_str());
  Bytes delta;
  if (member < 0) return quoted(delta_name(r), "is missing");
  if (reader.read_content(member, &delta) != ArchiveReader::Content::Ok)
    return quoted(delta_name(r), "cannot be unpacked");
  static uint8_t buffer[DELTA_COPY_CHUNK];
  DeltaDecoder d;
  delta_decoder_begin(&d, r.baseSize, r.targetSize, DeltaBase{read_base, &base}, ByteSink{collect, out}, buffer);
  if (delta_decoder_feed(&d, delta.data(), int32_t(delta.size())) != 0 || delta_decoder_end(&d) != 0)
    return quoted(delta_name(r), "does not decode against its base");
  return "";
}

}  // namespace

ManifestFound read_manifest(const ArchiveReader& reader, DeltaManifest* manifest) {
  const int32_t i = find_member(reader, DELTA_MANIFEST_MEMBER);
  if (i < 0) return ManifestFound::None;
  Bytes bytes;
  if (!reader.read_stored(i, &bytes) || delta_manifest_decode(bytes.data(), bytes.size(), manifest) != 0)
    return ManifestFound::Damaged;
  return ManifestFound::Sound;
}

void print_manifest(const DeltaManifest& m, std::ostream& out) {
  for (uint8_t file = 0; file < DELTA_FILE_COUNT; ++file) {
    bool first = true;
    for (int i = 0; i < m.count; ++i) {
      const ManifestRecord& r = m.records[i];
      if (r.file != file) continue;
      if (first) {
        out << kFileNames[file] << "  " << r.targetSize << " bytes  sha256 " << hex(r.targetSha256) << '\n';
        first = false;
      }
      if (r.base == DELTA_NO_BASE) {
        out << "  whole file carried (" << kWholeMembers[file] << ")\n";
      } else {
        out << "  base " << unsigned(r.base) << "  " << r.baseSize << " bytes  sha256 " << hex(r.baseSha256)
            << "  delta " << r.deltaSize << " bytes (" << delta_name(r) << ")\n";
      }
    }
  }
}

nlohmann::ordered_json manifest_json(const DeltaManifest& m) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (int i = 0; i < m.count; ++i) {
    const ManifestRecord& r = m.records[i];
    const bool whole = r.base == DELTA_NO_BASE;
    list.push_back({{"file", kFileNames[r.file]},
                    {"size", r.targetSize},
                    {"sha256", hex(r.targetSha256)},
                    {"base", whole ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.base)},
                    {"baseSize", whole ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.baseSize)},
                    {"baseSha256", whole ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(hex(r.baseSha256))},
                    {"member", whole ? kWholeMembers[r.file] : delta_name(r)},
                    {"deltaSize", whole ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.deltaSize)}});
  }
  return list;
}

int check_manifest(const ArchiveReader& reader, const DeltaManifest& m, const std::vector<std::string>& bases,
                   const std::string& archive, int* checked, ToolIo& io) {
  int bad = 0;
  *checked = 0;
  for (int i = 0; i < m.count; ++i) {
    const ManifestRecord& r = m.records[i];
    const bool whole = r.base == DELTA_NO_BASE;
    if (!whole && size_t(r.base) >= bases.size()) continue;
    ++*checked;
    Bytes content;
    std::string problem;
    if (whole) {
      const int32_t member = find_member(reader, kWholeMembers[r.file]);
      if (member < 0) {
        problem = quoted(kWholeMembers[r.file], "is missing");
      } else if (reader.read_content(member, &content) != ArchiveReader::Content::Ok) {
        problem = quoted(kWholeMembers[r.file], "cannot be unpacked");
      }
    } else {
      problem = rebuild(reader, r, bases[r.base], &content);
    }
    uint8_t digest[DELTA_SHA256_SIZE];
    if (problem.empty() && (!digest_of(content, digest) || content.size() != r.targetSize ||
                            memcmp(digest, r.targetSha256, DELTA_SHA256_SIZE) != 0)) {
      problem = kFileNames[r.file];
      problem += whole ? " carried whole" : " rebuilt from base " + std::to_string(r.base);
      problem += " has SHA-256 ";
      problem += hex(digest);
      problem += ", not the manifest's ";
      problem += hex(r.targetSha256);
    }
    if (!problem.empty()) {
      ++bad;
      report(io, archive, problem);
    }
  }
  return bad;
}
