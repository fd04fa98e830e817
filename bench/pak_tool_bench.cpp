// The pak tool's benchmarks: `pak add` of 256 MiB in eight files (packed on all cores) beside
// raw zlib compressing the same bytes on one thread; `pak extract` of those members beside raw
// zlib inflating them and writing the files; `pak list` and `pak info` of a 100,000-entry
// archive beside opening it. Wall-clock times, ours and the peer taking turns; ratios at the end.
// Then the memory add, extract, cat and verify take for one 1.5 GiB member above the baseline,
// and the memory an add of 40 files of 60 MiB takes (its read-ahead).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive/masked_stream.h"
#include "archive/pak_table.h"
#include "peak_memory.h"
#include "support/pak_fixture.h"
#include "tools/pak/pak_commands.h"

namespace {

constexpr int kFiles = 8;
constexpr size_t kFileBytes = 32u << 20;
constexpr int kEntries = 100000;

// Game-data-like text: records of names, numbers and a few stock phrases; packs about 4:1.
Bytes game_data(size_t n, uint32_t seed) {
  static const char* const kPhrases[] = {"Welcome, traveller.", "The gate opens at dawn.",
                                         "Bring me three wolf pelts.", "Nothing to see here.",
                                         "The river rises.", "Beware the northern pass."};
  uint32_t s = seed * 2654435761u + 1;
  const auto next = [&s] {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  };
  Bytes out;
  out.reserve(n + 128);
  char line[128];
  while (out.size() < n) {
    const int length =
        std::snprintf(line, sizeof line, "npc %05u hp=%u pos=(%d,%d) says \"%s\"\n",
                      unsigned(next() % 100000), unsigned(next() % 5000), int(next() % 4096) - 2048,
                      int(next() % 4096) - 2048, kPhrases[next() % 6]);
    out.insert(out.end(), line, line + length);
  }
  out.resize(n);
  return out;
}

struct Workspace {
  std::string folder;
  std::vector<std::string> files;
  std::vector<Bytes> contents;
  std::string archive;     // the eight files added by the tool
  std::vector<Bytes> records;  // their member records, for the peer of extract
  std::string big;         // 100,000 entries
};

Workspace& workspace() {
  static Workspace w = [] {
    Workspace s;
    char folder[] = "/tmp/pak-tool-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) abort();
    s.folder = folder;
    for (int i = 0; i < kFiles; ++i) {
      s.files.push_back(s.folder + "/part" + std::to_string(i) + ".dat");
      s.contents.push_back(game_data(kFileBytes, uint32_t(i)));
      if (!write_file_bytes(s.files.back(), s.contents.back())) abort();
    }
    FixtureArchive big;
    big.compressed = true;
    for (int i = 0; i < kEntries; ++i) {
      char name[40];
      std::snprintf(name, sizeof name, "Maps\\Zone%03d\\cell_%05d.map", i % 500, i);
      big.members.push_back({name, pak_fixture_member_record(bytes_of(name)), false, 0});
    }
    s.big = s.folder + "/big.pak";
    if (!write_file_bytes(s.big, pak_fixture_bytes(big))) abort();
    return s;
  }();
  return w;
}

struct Totals {
  double oursNs = 0;
  double peerNs = 0;
};
std::map<std::string, Totals> g_totals;

// Runs ours and the peer in turn (which goes first flips every time) on the wall clock: ours
// uses every core, so the thread's CPU clock would not see its work.
template <typename Ours, typename Peer>
void run_turns(benchmark::State& state, const std::string& name, Ours ours, Peer peer,
               double bytesPerCall) {
  static bool peerFirst = false;
  // Each side once untimed before the first timed turn: the first writes of a run land in
  // memory the machine has not touched yet, slower for whichever side meets it first.
  static std::set<std::string> warmed;
  if (warmed.insert(name).second && !(peer() && ours())) {
    state.SkipWithError("the warm-up failed");
    return;
  }
  double oursNs = 0, peerNs = 0;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool isPeer = (turn == 0) == peerFirst;
      // What the last turn left for the disk is written out first, untimed: the kernel's
      // writeback would otherwise take a core from whichever side runs next.
      sync();
      const auto t0 = std::chrono::steady_clock::now();
      const bool ok = isPeer ? peer() : ours();
      const double ns = std::chrono::duration<double, std::nano>(
                            std::chrono::steady_clock::now() - t0).count();
      (isPeer ? peerNs : oursNs) += ns;
      if (!ok) state.SkipWithError(isPeer ? "peer failed" : "ours failed");
    }
    peerFirst = !peerFirst;
  }
  const double calls = double(state.iterations());
  state.counters["ours_ms"] = oursNs / calls / 1e6;
  state.counters["peer_ms"] = peerNs / calls / 1e6;
  if (bytesPerCall > 0) state.counters["ours_MB/s"] = bytesPerCall * calls / oursNs * 1e3;
  g_totals[name].oursNs += oursNs;
  g_totals[name].peerNs += peerNs;
}

ToolIo& quiet_io() {
  static std::ostringstream out, err;
  static ToolIo io{out, err, false};
  out.str("");
  err.str("");
  return io;
}

void add_turns(benchmark::State& state) {
  Workspace& w = workspace();
  w.archive = w.folder + "/eight.pak";
  std::vector<Bytes> packed(kFiles);
  run_turns(
      state, "pak add",
      [&] {
        CreateOptions create;
        create.archive = w.archive;
        AddOptions add;
        add.archive = w.archive;
        add.files = w.files;
        return run_create(create, quiet_io()) == 0 && run_add(add, quiet_io()) == 0;
      },
      [&] {
        for (int i = 0; i < kFiles; ++i) {
          packed[i].resize(compressBound(uLong(kFileBytes)));
          uLongf length = uLongf(packed[i].size());
          if (compress2(packed[i].data(), &length, w.contents[i].data(), uLong(kFileBytes),
                        Z_DEFAULT_COMPRESSION) != Z_OK)
            return false;
          packed[i].resize(length);
        }
        return true;
      },
      double(kFiles) * kFileBytes);
}

// The records as the archive holds them, with their masks undone for the peer's inflate.
void load_records(Workspace& w) {
  if (!w.records.empty()) return;
  const int slot = pak_open(w.archive.c_str(), PAK_OPEN_READ);
  if (slot < 0) abort();
  const PakArchive& a = g_archives[slot];
  for (int32_t i = 0; i < a.entryCount; ++i) {
    Bytes record(size_t(a.directory[i].size));
    host_seek(a.file, a.directory[i].offset, HOST_SEEK_BEGIN);
    host_read(a.file, record.data(), int32_t(record.size()));
    record[PAK_MEMBER_RECORD_HEADER_SIZE] ^= STREAM_MASK;
    w.records.push_back(std::move(record));
  }
  pak_close(slot);
}

void extract_turns(benchmark::State& state) {
  Workspace& w = workspace();
  if (w.archive.empty()) {
    state.SkipWithError("run pak add first");
    return;
  }
  load_records(w);
  const std::string ours = w.folder + "/ours";
  const std::string peer = w.folder + "/peer";
  std::filesystem::create_directories(peer);
  Bytes content(kFileBytes);
  run_turns(
      state, "pak extract",
      [&] {
        ExtractOptions extract;
        extract.archive = w.archive;
        extract.directory = ours;
        return run_extract(extract, quiet_io()) == 0;
      },
      [&] {
        for (int i = 0; i < kFiles; ++i) {
          const Bytes& r = w.records[size_t(i)];
          const PakMemberRecord head = pak_member_record_decode(r.data());
          uLongf n = head.unpackedSize;
          if (uncompress(content.data(), &n, r.data() + PAK_MEMBER_RECORD_HEADER_SIZE,
                         head.packedSize) != Z_OK)
            return false;
          FILE* f = std::fopen((peer + "/part" + std::to_string(i) + ".dat").c_str(), "wb");
          if (f == nullptr) return false;
          const bool written = std::fwrite(content.data(), 1, n, f) == n;
          if (std::fclose(f) != 0 || !written) return false;
        }
        return true;
      },
      double(kFiles) * kFileBytes);
}

// Listing and describing the large archive, beside what both must do first: open it.
void inspect_turns(benchmark::State& state, bool list) {
  Workspace& w = workspace();
  run_turns(
      state, list ? "pak list" : "pak info",
      [&] {
        if (list) {
          ListOptions options;
          options.archive = w.big;
          return run_list(options, quiet_io()) == 0;
        }
        InfoOptions options;
        options.file = w.big;
        return run_info(options, quiet_io()) == 0;
      },
      [&] {
        const int slot = pak_open(w.big.c_str(), PAK_OPEN_READ);
        pak_close(slot);
        return slot >= 0;
      },
      0);
  state.counters["entries"] = kEntries;
}

// The peer's time over ours (how many times as fast ours is) against a goal of at least
// fasterGoal times as fast; or, with slowerGoal, ours taking at most that many times as long.
void print_ratio(const char* name, const char* peer, double fasterGoal, double slowerGoal = 0) {
  const Totals& t = g_totals[name];
  if (t.oursNs <= 0 || t.peerNs <= 0) return;
  const double speed = t.peerNs / t.oursNs;
  if (fasterGoal > 0) {
    std::printf("%-12s %.2f times as fast as %s (goal >= %.2f: %s)\n", name, speed, peer,
                fasterGoal, speed >= fasterGoal ? "met" : "MISSED");
  } else if (slowerGoal > 0) {
    std::printf("%-12s takes %.2f times as long as %s (goal <= %.2f: %s)\n", name, 1.0 / speed,
                peer, slowerGoal, 1.0 / speed <= slowerGoal ? "met" : "MISSED");
  } else {
    std::printf("%-12s takes %.2f times as long as %s\n", name, 1.0 / speed, peer);
  }
}

constexpr size_t kLargeBytes = size_t(3) << 29;  // 1.5 GiB
constexpr double kMemoryBoundMiB = 16;

// A file of numbered lines (highly compressible) of kLargeBytes.
bool write_large_file(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::string chunk;
  uint64_t line = 0;
  bool ok = true;
  for (size_t done = 0; ok && done < kLargeBytes; done += chunk.size()) {
    chunk.clear();
    while (chunk.size() < (size_t(1) << 20)) {
      chunk += "line " + std::to_string(line++) + " of the large member\n";
    }
    chunk.resize(std::min(chunk.size(), kLargeBytes - done));
    ok = std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
  }
  return std::fclose(f) == 0 && ok;
}

// Each command on one 1.5 GiB member, its resident peak above the resident size before it.
void large_member_memory() {
  Workspace& w = workspace();
  const std::string file = w.folder + "/large.bin";
  const std::string archive = w.folder + "/large.pak";
  std::printf("\nwriting a %zu MiB file (highly compressible)...\n", kLargeBytes >> 20);
  if (!write_large_file(file)) {
    std::printf("cannot write %s\n", file.c_str());
    return;
  }
  std::ofstream nowhere("/dev/null", std::ios::binary);
  std::ostringstream err;
  ToolIo catIo{nowhere, err, false};
  const std::pair<const char*, std::function<bool()>> commands[] = {
      {"pak add", [&] {
         CreateOptions create;
         create.archive = archive;
         AddOptions add;
         add.archive = archive;
         add.files = {file};
         return run_create(create, quiet_io()) == 0 && run_add(add, quiet_io()) == 0;
       }},
      {"pak extract", [&] {
         ExtractOptions extract;
         extract.archive = archive;
         extract.directory = w.folder + "/large-out";
         return run_extract(extract, quiet_io()) == 0;
       }},
      {"pak cat", [&] {
         CatOptions cat;
         cat.archive = archive;
         cat.name = "large.bin";
         return run_cat(cat, catIo) == 0;
       }},
      {"pak verify", [&] {
         VerifyOptions verify;
         verify.archive = archive;
         return run_verify(verify, quiet_io()) == 0;
       }},
  };
  for (const auto& [name, command] : commands) {
    bool ok = false;
    const auto t0 = std::chrono::steady_clock::now();
    const double rise = peak_memory::rise_mib(command, &ok);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (rise < 0) {
      std::printf("%-12s %s in %.1f s; resident peak not measurable here\n", name,
                  ok ? "done" : "FAILED", seconds);
    } else {
      std::printf("%-12s %s in %.1f s; resident peak above the baseline %.2f MiB (bound %.0f "
                  "MiB: %s)\n",
                  name, ok ? "done" : "FAILED", seconds, rise, kMemoryBoundMiB,
                  ok && rise <= kMemoryBoundMiB ? "met" : "MISSED");
    }
    std::error_code ignored;
    if (std::strcmp(name, "pak extract") == 0) std::filesystem::remove_all(w.folder + "/large-out", ignored);
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  std::filesystem::remove(archive, ignored);
}

constexpr int kManyMembers = 40;
constexpr size_t kManyMemberBytes = size_t(60) << 20;
constexpr double kReadAheadBoundMiB = 512;

// Adding 40 files of 60 MiB (one file's bytes under 40 names): the read-ahead and the records
// packed beside it must stay within the bound, however many cores pack.
void read_ahead_memory() {
  Workspace& w = workspace();
  const std::string first = w.folder + "/many00.dat";
  std::printf("\nwriting %d files of %zu MiB (links to one)...\n", kManyMembers,
              kManyMemberBytes >> 20);
  if (!write_file_bytes(first, game_data(kManyMemberBytes, 99))) {
    std::printf("cannot write %s\n", first.c_str());
    return;
  }
  AddOptions add;
  add.archive = w.folder + "/many.pak";
  add.files.push_back(first);
  for (int i = 1; i < kManyMembers; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/many%02d.dat", i);
    std::error_code linkError;
    std::filesystem::create_hard_link(first, w.folder + name, linkError);
    if (linkError) std::filesystem::copy_file(first, w.folder + name, linkError);
    add.files.push_back(w.folder + name);
  }
  CreateOptions create;
  create.archive = add.archive;
  bool ok = false;
  const auto t0 = std::chrono::steady_clock::now();
  const double rise = peak_memory::rise_mib(
      [&] { return run_create(create, quiet_io()) == 0 && run_add(add, quiet_io()) == 0; }, &ok);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (rise < 0) {
    std::printf("pak add of %d x %zu MiB %s in %.1f s; resident peak not measurable here\n",
                kManyMembers, kManyMemberBytes >> 20, ok ? "done" : "FAILED", seconds);
  } else {
    std::printf("pak add of %d x %zu MiB %s in %.1f s; resident peak above the baseline %.0f MiB "
                "(bound %.0f MiB: %s)\n",
                kManyMembers, kManyMemberBytes >> 20, ok ? "done" : "FAILED", seconds, rise,
                kReadAheadBoundMiB, ok && rise <= kReadAheadBoundMiB ? "met" : "MISSED");
  }
  std::error_code ignored;
  for (const std::string& f : add.files) std::filesystem::remove(f, ignored);
  std::filesystem::remove(add.archive, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("pak_add/8x32MiB", add_turns)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::RegisterBenchmark("pak_extract/8x32MiB", extract_turns)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::RegisterBenchmark("pak_list/100000", inspect_turns, true)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2.0);
  benchmark::RegisterBenchmark("pak_info/100000", inspect_turns, false)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2.0);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  double load[3] = {};
  getloadavg(load, 3);
  std::printf("\n%u cores, load average %.2f %.2f %.2f (other work on the machine slows both "
              "sides, the parallel one more)\n",
              std::thread::hardware_concurrency(), load[0], load[1], load[2]);
  print_ratio("pak add", "zlib compress2 on one thread", 4.0);
  print_ratio("pak extract", "zlib uncompress + fwrite", 2.0);
  print_ratio("pak list", "pak_open + pak_close", 0, 2.0);
  print_ratio("pak info", "pak_open + pak_close", 0);
  large_member_memory();
  read_ahead_memory();
  std::error_code ignored;
  std::filesystem::remove_all(workspace().folder, ignored);
  return 0;
}
