// Writes the seed corpus of the delta target: deltas made by the encoder for a few pairs of
// files (alike, appended to, changed in scattered bytes, unrelated), each fed in pieces of
// some size, and manifests with and without whole-file records. Takes the corpus root and
// writes into its folder delta/.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/delta_encode.h"
#include "archive/delta_manifest.h"
#include "support/pak_fixture.h"

namespace {

Bytes text(size_t n, uint32_t seed) {
  Bytes out(n);
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = (i / 40) % 4 == 0 ? uint8_t(x >> 24) : uint8_t("delta seed words "[i % 17]);
  }
  return out;
}

// Mode byte 0, the base as a block, the target's size, the piece size less one, the delta.
Bytes delta_seed(const Bytes& base, const Bytes& target, uint8_t piece) {
  Bytes out = {0, uint8_t(base.size()), uint8_t(base.size() >> 8)};
  out.insert(out.end(), base.begin(), base.end());
  out.push_back(uint8_t(target.size()));
  out.push_back(uint8_t(target.size() >> 8));
  out.push_back(piece);
  const Bytes d = delta_encode(base.data(), base.size(), target.data(), target.size());
  out.insert(out.end(), d.begin(), d.end());
  return out;
}

Bytes manifest_seed(bool whole) {
  DeltaManifest m{};
  for (uint8_t file = 0; file < DELTA_FILE_COUNT; ++file) {
    ManifestRecord r{};
    r.file = file;
    r.base = 0;
    r.targetSize = 100u + file;
    std::memset(r.targetSha256, 0x31 + file, DELTA_SHA256_SIZE);
    r.baseSize = 90;
    std::memset(r.baseSha256, 0x51, DELTA_SHA256_SIZE);
    r.deltaSize = 40;
    m.records[m.count++] = r;
    if (whole) {
      r.base = DELTA_NO_BASE;
      r.baseSize = r.deltaSize = 0;
      std::memset(r.baseSha256, 0, DELTA_SHA256_SIZE);
      m.records[m.count++] = r;
    }
  }
  Bytes out(1 + MANIFEST_MAX_SIZE, 1);
  out.resize(1 + delta_manifest_encode(m, out.data() + 1));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_delta_seeds CORPUS_ROOT\n");
    return 2;
  }
  const Bytes base = text(600, 1);
  Bytes appended = base;
  const Bytes extra = text(80, 2);
  appended.insert(appended.end(), extra.begin(), extra.end());
  Bytes scattered = base;
  for (size_t i = 30; i < scattered.size(); i += 97) scattered[i] ^= 0x20;
  const struct {
    const char* name;
    Bytes bytes;
  } seeds[] = {
      {"alike.bin", delta_seed(base, base, 255)},
      {"appended.bin", delta_seed(base, appended, 6)},
      {"scattered.bin", delta_seed(base, scattered, 0)},
      {"unrelated.bin", delta_seed(base, text(300, 9), 40)},
      {"empty_base.bin", delta_seed({}, text(50, 3), 11)},
      {"manifest.bin", manifest_seed(false)},
      {"manifest_whole.bin", manifest_seed(true)},
  };
  const std::string folder = std::string(argv[1]) + "/delta/";
  for (const auto& s : seeds) {
    if (!write_file_bytes(folder + s.name, s.bytes)) {
      std::fprintf(stderr, "make_delta_seeds: cannot write %s%s\n", folder.c_str(), s.name);
      return 1;
    }
  }
  return 0;
}
