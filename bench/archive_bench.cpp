// Archive store benchmarks, each run in alternation with its peer: masked streams against raw
// zlib on 16 MiB of executable-like bytes, text and random bytes; opening a 100,000-entry
// archive against inflating its directory and sorting its names. Ratios print at the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "archive/masked_stream.h"
#include "archive/pak_table.h"
#include "support/pak_fixture.h"

namespace {

constexpr size_t kStreamBytes = 16u << 20;
constexpr int kArchiveEntries = 100000;
constexpr int kRepetitions = 5;
// Pairs that take well under a second run longer per repetition, for steadier ratios.
constexpr double kShortPairSeconds = 2.0;

struct Rng {
  uint64_t x = 0x9E3779B97F4A7C15ull;
  uint32_t next() {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return uint32_t(x >> 16);
  }
  uint32_t below(uint32_t n) { return next() % n; }
};

std::vector<std::string> vocabulary(Rng& r, int count) {
  static const char kSyllables[][4] = {"ka", "to", "ri", "men", "sa", "lo", "ve", "dar",
                                       "in", "ul", "qe", "bor", "th", "an", "es", "mor"};
  std::vector<std::string> words;
  for (int i = 0; i < count; ++i) {
    std::string w;
    for (uint32_t s = 0, n = 1 + r.below(4); s < n; ++s) w += kSyllables[r.below(16)];
    words.push_back(w);
  }
  return words;
}

Bytes text_bytes(size_t n) {
  Rng r;
  const std::vector<std::string> words = vocabulary(r, 2000);
  Bytes out;
  out.reserve(n + 64);
  while (out.size() < n) {
    // Zipf-like word choice: short common words dominate, as in prose.
    const uint32_t pick = r.below(2000);
    const std::string& w = words[(pick * pick) / 2000];
    out.insert(out.end(), w.begin(), w.end());
    const uint32_t p = r.below(20);
    out.push_back(p == 0 ? '.' : p == 1 ? ',' : ' ');
    if (p == 0 && r.below(4) == 0) out.push_back('\n');
  }
  out.resize(n);
  return out;
}

// Code-like runs of opcodes with small immediates, string tables, zero padding and address
// tables, roughly in the proportions of a compiled 32-bit program.
Bytes executable_bytes(size_t n) {
  Rng r;
  static const std::vector<std::vector<uint8_t>> kOps = {
      {0x55}, {0x8B, 0xEC}, {0x83, 0xEC}, {0x89, 0x45}, {0x8B, 0x45}, {0xE8}, {0xC3},
      {0x6A}, {0xFF, 0x15}, {0x33, 0xC0}, {0x85, 0xC0}, {0x74}, {0x75}, {0x5D}, {0x50},
      {0x51}, {0x8D, 0x4D}, {0x89, 0x4D}, {0x0F, 0x84}, {0xC7, 0x45}, {0x8B, 0x4D}, {0x56},
      {0x57}, {0x5E}, {0x5F}, {0x83, 0xC4}, {0x3B, 0xC1}, {0x0F, 0xB6}, {0xEB}, {0x90}};
  const std::vector<std::string> words = vocabulary(r, 300);
  Bytes out;
  out.reserve(n + 4096);
  uint32_t address = 0x00401000;
  while (out.size() < n) {
    const uint32_t kind = r.below(100);
    if (kind < 78) {
      for (int i = 0; i < 200; ++i) {
        const auto& op = kOps[std::min<uint32_t>(r.below(30), r.below(30))];
        out.insert(out.end(), op.begin(), op.end());
        const uint32_t imm = r.below(6);
        if (imm == 1) out.push_back(uint8_t(r.below(64) * 4));
        if (imm == 2) {
          const uint32_t v = address + r.below(0x40000);
          for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
        }
      }
    } else if (kind < 88) {
      for (int i = 0; i < 40; ++i) {
        const std::string& w = words[r.below(300)];
        out.insert(out.end(), w.begin(), w.end());
        out.push_back(0);
      }
    } else if (kind < 95) {
      out.insert(out.end(), 16 + r.below(500), 0);
    } else {
      for (int i = 0; i < 64; ++i) {
        address += 4 + 4 * r.below(8);
        for (int b = 0; b < 4; ++b) out.push_back(uint8_t(address >> (8 * b)));
      }
    }
  }
  out.resize(n);
  return out;
}

Bytes random_bytes(size_t n) {
  Rng r;
  Bytes out(n);
  for (size_t i = 0; i + 4 <= n; i += 4) {
    const uint32_t v = r.next();
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

struct StreamSample {
  Bytes content;
  Bytes masked;  // masked stream of content
};

const StreamSample& sample(const std::string& kind) {
  static std::map<std::string, StreamSample> samples;
  auto it = samples.find(kind);
  if (it != samples.end()) return it->second;
  StreamSample s;
  s.content = kind == "exe" ? executable_bytes(kStreamBytes)
              : kind == "text" ? text_bytes(kStreamBytes)
                               : random_bytes(kStreamBytes);
  s.masked.resize(compressBound(uLong(s.content.size())));
  s.masked.resize(masked_compress(s.masked.data(), s.content.data(), uint32_t(s.content.size()),
                                  uint32_t(s.masked.size())));
  return samples.emplace(kind, std::move(s)).first->second;
}

double thread_cpu_ns() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// Runs ours and the peer alternately (which goes first flips every iteration), timing each on
// the thread's CPU clock, so that load from other processes falls on both sides alike. The
// counters give each side's time per call and their ratio.
template <typename Ours, typename Peer>
void run_pair(benchmark::State& state, Ours ours, Peer peer, size_t bytesPerCall) {
  double oursNs = 0, peerNs = 0;
  static bool peerFirst = false;  // kept across repetitions of one iteration each
  for (auto _ : state) {
    for (int side = 0; side < 2; ++side) {
      const bool runPeer = (side == 0) == peerFirst;
      const double t0 = thread_cpu_ns();
      const bool ok = runPeer ? peer() : ours();
      (runPeer ? peerNs : oursNs) += thread_cpu_ns() - t0;
      if (!ok) state.SkipWithError(runPeer ? "peer failed" : "ours failed");
    }
    peerFirst = !peerFirst;
  }
  const double calls = double(state.iterations());
  state.counters["ours_ms"] = oursNs / calls / 1e6;
  state.counters["peer_ms"] = peerNs / calls / 1e6;
  state.counters["ratio"] = peerNs > 0 ? oursNs / peerNs : 0;
  if (bytesPerCall != 0) state.counters["ours_MB/s"] = double(bytesPerCall) * calls / oursNs * 1e3;
}

void compress_pair(benchmark::State& state, const std::string& kind) {
  const StreamSample& s = sample(kind);
  // One output buffer for both sides, so neither gains from where its memory happens to lie.
  Bytes out(compressBound(uLong(s.content.size())));
  uint32_t oursLength = 0;
  uLongf peerLength = 0;
  run_pair(
      state,
      [&] {
        oursLength = masked_compress(out.data(), s.content.data(), uint32_t(s.content.size()),
                                     uint32_t(out.size()));
        return oursLength != 0;
      },
      [&] {
        peerLength = uLongf(out.size());
        return compress2(out.data(), &peerLength, s.content.data(), uLong(s.content.size()),
                         Z_DEFAULT_COMPRESSION) == Z_OK;
      },
      s.content.size());
  if (oursLength != peerLength) state.SkipWithError("streams of different lengths");
  state.counters["packed%"] = 100.0 * oursLength / double(s.content.size());
}

void uncompress_pair(benchmark::State& state, const std::string& kind) {
  const StreamSample& s = sample(kind);
  Bytes oursInput = s.masked;
  Bytes peerInput = s.masked;
  peerInput[0] ^= STREAM_MASK;
  Bytes out(s.content.size());
  run_pair(
      state,
      [&] {
        return masked_uncompress(out.data(), oursInput.data(), uint32_t(oursInput.size()),
                                 uint32_t(out.size())) == out.size();
      },
      [&] {
        uLongf n = uLongf(out.size());
        return uncompress(out.data(), &n, peerInput.data(), uLong(peerInput.size())) == Z_OK &&
               n == out.size();
      },
      s.content.size());
}

// A 100,000-entry archive with a compressed directory, names in no particular order.
struct ArchiveSample {
  std::string folder;
  std::string path;
  Bytes plainStream;  // the directory's stream with its mask undone
};

const ArchiveSample& archive_sample() {
  static ArchiveSample a = [] {
    ArchiveSample s;
    char folder[] = "/tmp/archive-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) abort();
    s.folder = folder;
    s.path = s.folder + "/big.pak";
    std::vector<int> ids(kArchiveEntries);
    std::iota(ids.begin(), ids.end(), 0);
    Rng r;
    for (size_t i = ids.size() - 1; i > 0; --i) std::swap(ids[i], ids[r.below(uint32_t(i + 1))]);
    FixtureArchive archive;
    archive.compressed = true;
    for (int id : ids) {
      char name[40];
      std::snprintf(name, sizeof name, "Data\\Area%03d\\tile_%05d.BIN", id / 1000, id);
      archive.members.push_back({name, bytes_of(name + 15)});
    }
    const FixtureLayout layout = pak_fixture_build(archive);
    if (!write_file_bytes(s.path, layout.bytes)) abort();
    s.plainStream.assign(layout.bytes.begin() + layout.directoryOffset,
                         layout.bytes.begin() + layout.directoryOffset + layout.directorySize);
    s.plainStream[0] ^= STREAM_MASK;
    return s;
  }();
  return a;
}

// pak_open and close of the archive, beside the least any open must do: inflate the
// directory and sort the names.
void pak_open_pair(benchmark::State& state) {
  const ArchiveSample& s = archive_sample();
  const size_t bytes = size_t(kArchiveEntries + 20) * PAK_ENTRY_SIZE;
  run_pair(
      state,
      [&] {
        const int slot = pak_open(s.path.c_str(), PAK_OPEN_READ);
        const bool ok = slot >= 0 && g_archives[slot].sortedIndex != nullptr;
        pak_close(slot);
        return ok;
      },
      [&] {
        auto* directory = static_cast<PakEntry*>(malloc(bytes));
        uLongf n = uLongf(bytes);
        const bool ok = uncompress(reinterpret_cast<Bytef*>(directory), &n, s.plainStream.data(),
                                   uLong(s.plainStream.size())) == Z_OK;
        std::vector<int32_t> index(kArchiveEntries);
        std::iota(index.begin(), index.end(), 0);
        std::sort(index.begin(), index.end(), [directory](int32_t a, int32_t b) {
          return pak_name_compare(directory[a].name, directory[b].name) < 0;
        });
        benchmark::DoNotOptimize(index.data());
        free(directory);
        return ok;
      },
      0);
  state.counters["entries"] = kArchiveEntries;
}

// Sums each pair's times over its repetitions and keeps the median repetition's ratio, so
// that the comparison can be printed after the tables.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      const auto counter = [&run](const char* key) {
        const auto it = run.counters.find(key);
        return it == run.counters.end() ? 0.0 : double(it->second);
      };
      if (run.run_type == Run::RT_Iteration) {
        const double calls = double(run.iterations);
        Totals& t = totals_[name];
        t.ours += counter("ours_ms") * calls;
        t.peer += counter("peer_ms") * calls;
      } else if (run.aggregate_name == "median") {
        totals_[name].medianRatio = counter("ratio");
      }
    }
  }
  void print_ratio(const std::string& name, const char* peer, double goal) const {
    const auto it = totals_.find(name);
    if (it == totals_.end() || it->second.peer <= 0) return;
    const Totals& t = it->second;
    const double ratio = t.ours / t.peer;
    std::printf("ratio %-22s vs %-20s overall %.3f  median repetition %.3f  (goal <= %.2f) %s\n",
                name.c_str(), peer, ratio, t.medianRatio, goal, ratio <= goal ? "met" : "MISSED");
  }

 private:
  struct Totals {
    double ours = 0, peer = 0, medianRatio = 0;
  };
  std::map<std::string, Totals> totals_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* kinds[] = {"exe", "text", "random"};
  for (const char* kind : kinds) {
    const std::string k = kind;
    // A compression pair takes seconds, so one per repetition and more repetitions.
    benchmark::RegisterBenchmark(("masked_compress/" + k).c_str(), compress_pair, k)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(2 * kRepetitions);
    benchmark::RegisterBenchmark(("masked_uncompress/" + k).c_str(), uncompress_pair, k)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(kShortPairSeconds)
        ->Repetitions(kRepetitions);
  }
  benchmark::RegisterBenchmark("pak_open/100000", pak_open_pair)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(kShortPairSeconds)
      ->Repetitions(kRepetitions);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n");
  for (const char* kind : kinds) {
    const std::string k = kind;
    reporter.print_ratio("masked_compress/" + k, "zlib compress2", 1.03);
    reporter.print_ratio("masked_uncompress/" + k, "zlib uncompress", 1.03);
  }
  reporter.print_ratio("pak_open/100000", "inflate + name sort", 1.20);
  std::error_code ignored;
  std::filesystem::remove_all(archive_sample().folder, ignored);
  return 0;
}
