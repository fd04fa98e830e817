// Benchmark of settings loading: a generated 10 MiB settings file loaded by SettingsLoad and
// parsed by inih from the same file in the same run; prints the throughput ratio.
#include <benchmark/benchmark.h>
#include <ini.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "config/settings.h"
#include "settings_gen.h"

namespace {

constexpr size_t kTextBytes = 10u << 20;

struct Times {
  double real = 0;
  double cpu = 0;
};

// Records each benchmark's real and CPU time per iteration (the median when repeated) while
// printing as usual.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const std::string name = run.run_name.str();
      if (median) medians_.insert(name);
      else if (medians_.count(name) != 0) continue;
      times[name] = Times{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, Times> times;

 private:
  std::set<std::string> medians_;
};

void print_ratio(RatioReporter& reporter, const char* peer) {
  if (reporter.times.count("SettingsLoad/file") == 0 || reporter.times.count(peer) == 0) return;
  const Times ours = reporter.times["SettingsLoad/file"];
  const Times theirs = reporter.times[peer];
  std::printf("throughput SettingsLoad / %-12s real %.2fx, cpu %.2fx\n", peer,
              theirs.real / ours.real, theirs.cpu / ours.cpu);
}

int count_items(void* user, const char*, const char*, const char*) {
  ++*static_cast<long*>(user);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  char folder[] = "/tmp/settings-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string path = std::string(folder) + "/bench.ini";
  const std::string text = settings_generate_text(kTextBytes);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size()) return 1;
  std::fclose(file);
  const auto bytes = static_cast<int64_t>(text.size());

  benchmark::RegisterBenchmark("SettingsLoad/file", [&](benchmark::State& state) {
    for (auto _ : state) {
      if (SettingsLoad(path.c_str()) != 1) state.SkipWithError("load failed");
      SettingsFree();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("inih/file", [&](benchmark::State& state) {
    for (auto _ : state) {
      long items = 0;
      ini_parse(path.c_str(), count_items, &items);
      benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("inih/string", [&](benchmark::State& state) {
    for (auto _ : state) {
      long items = 0;
      ini_parse_string(text.c_str(), count_items, &items);
      benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
  })->Unit(benchmark::kMillisecond);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  print_ratio(reporter, "inih/file");
  print_ratio(reporter, "inih/string");
  unlink(path.c_str());
  rmdir(folder);
  return 0;
}
