// `pak extract` of many small files (10,000 and 50,000 of 1 KB) beside `tar xzf` of the same
// files, in the same run: the cost of making files one after another in one folder, which is
// where a case-blind lookup that listed the folder per new name grew with the square of its size.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/pak_fixture.h"
#include "tools/pak/pak_commands.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFileBytes = 1024;

struct Set {
  std::string archive;
  std::string tarball;
};

std::string g_folder;

// The files as a 1 KB text each, in an archive of packed members and in a gzipped tar.
const Set& files(int count) {
  static std::map<int, Set> made;
  auto it = made.find(count);
  if (it != made.end()) return it->second;
  const std::string source = g_folder + "/src" + std::to_string(count);
  fs::create_directories(source);
  FixtureArchive archive;
  archive.compressed = true;
  for (int i = 0; i < count; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "File%05d.txt", i);
    std::string text;
    while (text.size() < kFileBytes) text += std::string(name) + " line " + std::to_string(text.size()) + "\n";
    text.resize(kFileBytes);
    const Bytes content = bytes_of(text);
    if (!write_file_bytes(source + "/" + name, content)) abort();
    archive.members.push_back({name, pak_fixture_member_record(content), false, 0});
  }
  Set set;
  set.archive = g_folder + "/many" + std::to_string(count) + ".pak";
  set.tarball = g_folder + "/many" + std::to_string(count) + ".tar.gz";
  if (!write_file_bytes(set.archive, pak_fixture_bytes(archive))) abort();
  const std::string tar = "tar czf " + set.tarball + " -C " + source + " .";
  if (std::system(tar.c_str()) != 0) abort();
  return made[count] = set;  // the files stay until the end (see fresh)
}

// A fresh empty output folder for each run, made outside the timing. Earlier runs' files stay
// until the end: removing thousands of files just before a run leaves their inodes "recently
// deleted", and the file system's search past them for new inodes then costs more than the
// extraction itself, for whichever side runs next.
std::string fresh(const std::string& name) {
  static int made = 0;
  const std::string out = g_folder + "/" + name + std::to_string(made++);
  fs::create_directories(out);
  sync();
  return out;
}

bool pak_extract(const Set& set, const std::string& out) {
  const char* argv[] = {"pak", "extract", set.archive.c_str(), "-C", out.c_str()};
  std::ostringstream quiet;
  ToolIo io{quiet, quiet, false};
  return pak_main(5, argv, io) == 0;
}

bool tar_extract(const Set& set, const std::string& out) {
  return std::system(("tar xzf " + set.tarball + " -C " + out).c_str()) == 0;
}

std::map<std::string, std::vector<double>> g_seconds;  // per benchmark name, every run

void extract(benchmark::State& state, bool ours) {
  const int count = int(state.range(0));
  const Set& set = files(count);
  const std::string label = (ours ? "pak extract/" : "tar xzf/") + std::to_string(count);
  for (auto _ : state) {
    const std::string out = fresh("out");
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = ours ? pak_extract(set, out) : tar_extract(set, out);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) state.SkipWithError("extract failed");
    state.SetIterationTime(s);
    g_seconds[label].push_back(s);
  }
  state.counters["files/s"] = benchmark::Counter(double(count) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void print_ratio(int count, double goal) {
  const std::vector<double>& ours = g_seconds["pak extract/" + std::to_string(count)];
  const std::vector<double>& peer = g_seconds["tar xzf/" + std::to_string(count)];
  if (ours.empty() || peer.empty()) return;
  const double ratio = median(ours) / median(peer);
  std::printf("pak extract of %d files: %.3f s (%.3f-%.3f), tar xzf %.3f s (%.3f-%.3f): "
              "%.2f times as long (goal <= %.1f: %s)\n",
              count, median(ours), *std::min_element(ours.begin(), ours.end()),
              *std::max_element(ours.begin(), ours.end()), median(peer),
              *std::min_element(peer.begin(), peer.end()),
              *std::max_element(peer.begin(), peer.end()), ratio, goal,
              ratio <= goal ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  // Under $TMPDIR when set: a memory file system there shows the work without the disk's.
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                        "/pak-many-bench-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  g_folder = pattern;
  std::printf("files under %s\n", g_folder.c_str());
  for (const int count : {10000, 50000}) {
    // Ours and the peer alternate, so load on the machine falls on both alike.
    for (int round = 0; round < 3; ++round) {
      for (const bool ours : {round % 2 == 0, round % 2 != 0}) {
        benchmark::RegisterBenchmark(ours ? "pak_extract" : "tar_xzf", extract, ours)
            ->Arg(count)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  double load[3] = {};
  getloadavg(load, 3);
  std::printf("\nload average %.2f %.2f %.2f; medians of 3 runs, range in brackets\n", load[0],
              load[1], load[2]);
  print_ratio(10000, 1.0);
  print_ratio(50000, 1.0);
  std::error_code ignored;
  fs::remove_all(g_folder, ignored);
  return 0;
}
