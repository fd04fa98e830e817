// Delta building: whole files read into memory, each pair encoded and packed, the delta kept
// when it is smaller than the whole file would be packed, and the manifest written last.
#include "tools/pak/delta_build.h"

#include <cstring>

#include "archive/delta_encode.h"
#include "archive/delta_manifest.h"
#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "host/host_hash.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kFileNames[DELTA_FILE_COUNT] = {"Velmor.EXE", "Update.PAK"};
const char* const kWholeMembers[DELTA_FILE_COUNT] = {"#:\\Velmor.EXE", "#:\\Update.PAK"};
// No deflate stream is smaller than about 1/1032 of its content: a delta packed below that is
// smaller than the packed whole file, which is then not packed just to compare.
constexpr size_t kDeflateBestRatio = 1032;

bool read_whole(const std::string& path, Bytes* out, ToolIo& io) {
  return read_whole_file(path, out) || fail(io, path, "cannot be read");
}

bool sha256(const Bytes& bytes, uint8_t* out) {
  HostSha256* d = host_sha256_begin();
  if (d == nullptr) return false;
  const bool added = host_sha256_add(d, bytes.data(), bytes.size()) == 0;
  return host_sha256_end(d, out) == 0 && added;
}

// A packed member record (unpacked size, packed size, masked stream) of content.
Bytes packed_record(const Bytes& content, int level) {
  Bytes out(PAK_MEMBER_RECORD_HEADER_SIZE + content.size() + content.size() / 500 + 128);
  const uint32_t packed = masked_compress2(out.data() + PAK_MEMBER_RECORD_HEADER_SIZE, content.data(),
                                           uint32_t(content.size()), uint32_t(out.size() - PAK_MEMBER_RECORD_HEADER_SIZE), level);
  store_le32(&out[0], uint32_t(content.size()));
  store_le32(&out[4], packed);
  out.resize(PAK_MEMBER_RECORD_HEADER_SIZE + packed);
  return out;
}

}  // namespace

std::string base_file_path(const std::string& folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += name;
  return path;
}

bool build_deltas(const DeltaBuildInput& input, DeltaBuild* build, ToolIo& io) {
  if (input.bases.size() > size_t(DELTA_MAX_BASES)) {
    return fail(io, input.bases.back(), "more than 16 bases");
  }
  DeltaManifest manifest{};
  const std::string targets[DELTA_FILE_COUNT] = {input.gameExe, input.pack};
  for (uint8_t file = 0; file < DELTA_FILE_COUNT; ++file) {
    Bytes target;
    if (!read_whole(targets[file], &target, io)) return false;
    ManifestRecord whole{};
    whole.file = file;
    whole.base = DELTA_NO_BASE;
    whole.targetSize = uint32_t(target.size());
    if (!sha256(target, whole.targetSha256)) return fail(io, targets[file], "cannot be hashed");
    size_t packedWhole = 0;  // 0 until needed
    bool carryWhole = input.withFull;
    for (size_t b = 0; b < input.bases.size(); ++b) {
      const std::string basePath = base_file_path(input.bases[b], kFileNames[file]);
      Bytes base;
      if (!read_whole(basePath, &base, io)) return false;
      ManifestRecord r = whole;
      r.base = uint8_t(b);
      r.baseSize = uint32_t(base.size());
      if (!sha256(base, r.baseSha256)) return fail(io, basePath, "cannot be hashed");
      const Bytes record = packed_record(delta_encode(base.data(), base.size(), target.data(), target.size()), 9);
      r.deltaSize = uint32_t(record.size());
      if (r.deltaSize > target.size() / kDeflateBestRatio && packedWhole == 0) {
        packedWhole = packed_record(target, -1).size();  // as the whole member is packed
      }
      const bool smaller = packedWhole == 0 || r.deltaSize < packedWhole;
      build->summary += kFileNames[file];
      build->summary += " from ";
      build->summary += input.bases[b];
      build->summary += ": delta ";
      build->summary += std::to_string(r.deltaSize);
      build->summary += smaller ? " bytes\n" : " bytes (not smaller than the whole file: the whole file is carried)\n";
      if (!smaller) {
        carryWhole = true;
        continue;
      }
      char name[DELTA_MEMBER_NAME_ROOM];
      if (!delta_member_name(kWholeMembers[file], r.base, name, sizeof name)) return false;
      build->members.push_back({name, record});
      manifest.records[manifest.count++] = r;
    }
    if (carryWhole) {
      manifest.records[manifest.count++] = whole;
      build->whole.push_back({targets[file], kWholeMembers[file], kWholeMembers[file]});
    }
  }
  Bytes bytes(MANIFEST_MAX_SIZE);
  bytes.resize(delta_manifest_encode(manifest, bytes.data()));
  build->members.push_back({DELTA_MANIFEST_MEMBER, bytes});
  return true;
}
