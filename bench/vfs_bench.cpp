// Benchmarks of the virtual file layer: member lookups in a 100,000-entry archive through the
// sorted index against scanning, and a 64 MiB member read and written through a handle against
// host_read / host_write of the same bytes on a plain file. Prints each ratio at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/pak_format.h"
#include "archive/pak_table.h"
#include "vfs/file_handle.h"
#include "host/host.h"
#include "vfs/mount_path.h"

namespace {

constexpr int kEntries = 100000;
constexpr int32_t kBigMember = 64 << 20;

std::string g_dir;

std::string scratch_file(const char* name) { return g_dir + "/" + name; }

bool write_whole(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string member_name(int i) {
  char name[PAK_NAME_SIZE];
  std::snprintf(name, sizeof name, "#:\\DATA\\M%06d.BIN", i);
  return name;
}

// A plain archive under '#' with kEntries one-byte members, or with no members.
std::vector<uint8_t> archive_bytes(int entries) {
  std::vector<uint8_t> out(PAK_HEADER_SIZE);
  for (int i = 0; i < entries; ++i) out.push_back(uint8_t(i));
  const int32_t directoryOffset = int32_t(out.size());
  const int32_t stored = entries > 0 ? entries : PAK_EMPTY_DIRECTORY_ENTRIES;
  std::vector<uint8_t> directory(size_t(stored) * PAK_ENTRY_SIZE, 0);
  for (int i = 0; i < entries; ++i) {
    PakEntry e{};
    e.size = 1;
    e.offset = int32_t(PAK_HEADER_SIZE) + i;
    const std::string name = member_name(i);
    std::memcpy(e.name, name.c_str(), name.size());
    pak_entries_to_disk(directory.data() + size_t(i) * PAK_ENTRY_SIZE, &e, 1);
  }
  out.insert(out.end(), directory.begin(), directory.end());
  PakHeader h{};
  h.magic = PAK_MAGIC;
  h.entryCount = entries;
  h.directoryOffset = directoryOffset;
  h.firstLetter = '#';
  h.lastLetter = '#';
  const PakHeaderBytes header = pak_header_encode(h);
  std::memcpy(out.data(), header.data(), header.size());
  return out;
}

std::vector<std::string> shuffled_names() {
  std::vector<std::string> names;
  for (int i = 0; i < kEntries; ++i) names.push_back(member_name(i));
  std::shuffle(names.begin(), names.end(), std::mt19937(42));
  return names;
}

void lookups(benchmark::State& state, bool indexed) {
  const int slot = pak_open(scratch_file("big.pak").c_str(), PAK_OPEN_READ);
  if (slot < 0) {
    state.SkipWithError("cannot open the archive");
    return;
  }
  if (!indexed) pak_drop_index(slot);
  const std::vector<std::string> names = shuffled_names();
  size_t i = 0;
  for (auto _ : state) {
    PakEntry* e = vfs_find_member(names[i].c_str(), VFS_LOOKUP);
    if (e == nullptr) state.SkipWithError("member not found");
    benchmark::DoNotOptimize(e);
    i = (i + 1) % names.size();
  }
  pak_close(slot);
}
void BM_LookupIndexed(benchmark::State& state) { lookups(state, true); }
void BM_LookupScan(benchmark::State& state) { lookups(state, false); }

// One 64 MiB buffer, read into or written from in one call per iteration.
std::vector<uint8_t>& big_buffer() {
  static std::vector<uint8_t> buffer(size_t(kBigMember), 0x5A);
  return buffer;
}

// The 64 MiB member, last in its archive, so it may be written over in place.
struct BigMember {
  int slot = -1;
  int32_t handle = -1;
  BigMember() {
    slot = pak_open(scratch_file("member.pak").c_str(), PAK_OPEN_READWRITE);
    if (slot < 0) return;
    handle = vfs_open("#:\\BIG", 0);
    if (handle < 0) {
      handle = vfs_create_new("#:\\BIG", 0);
      if (vfs_write(handle, big_buffer().data(), kBigMember) != kBigMember) handle = -1;
    }
  }
  ~BigMember() {
    vfs_close(handle);
    pak_close(slot);
  }
};

// The plain file holds the same bytes at the same file offset as the member (just after an
// archive header), so both peers copy between equally aligned buffers and file pages.
constexpr int32_t kPlainOffset = int32_t(PAK_HEADER_SIZE);

struct BigFile {
  HostHandle handle = HOST_INVALID_HANDLE;
  BigFile() {
    const std::string path = scratch_file("plain.bin");
    handle = host_open(path.c_str(), HOST_MODE_READWRITE);
    if (handle == HOST_INVALID_HANDLE) {
      handle = host_create(path.c_str(), 0);
      if (host_seek(handle, kPlainOffset, HOST_SEEK_BEGIN) != kPlainOffset ||
          host_write(handle, big_buffer().data(), kBigMember) != kBigMember) {
        host_close(handle);
        handle = HOST_INVALID_HANDLE;
      }
    }
  }
  ~BigFile() { host_close(handle); }
};

void BM_MemberWrite(benchmark::State& state) {
  BigMember m;
  for (auto _ : state) {
    if (vfs_seek(m.handle, 0, HOST_SEEK_BEGIN) != 0 ||
        vfs_write(m.handle, big_buffer().data(), kBigMember) != kBigMember)
      state.SkipWithError("member write failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBigMember);
}
void BM_HostWrite(benchmark::State& state) {
  BigFile f;
  for (auto _ : state) {
    if (host_seek(f.handle, kPlainOffset, HOST_SEEK_BEGIN) != kPlainOffset ||
        host_write(f.handle, big_buffer().data(), kBigMember) != kBigMember)
      state.SkipWithError("host write failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBigMember);
}
void BM_MemberRead(benchmark::State& state) {
  BigMember m;
  for (auto _ : state) {
    if (vfs_seek(m.handle, 0, HOST_SEEK_BEGIN) != 0 ||
        vfs_read(m.handle, big_buffer().data(), kBigMember) != kBigMember)
      state.SkipWithError("member read failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBigMember);
}
void BM_HostRead(benchmark::State& state) {
  BigFile f;
  for (auto _ : state) {
    if (host_seek(f.handle, kPlainOffset, HOST_SEEK_BEGIN) != kPlainOffset ||
        host_read(f.handle, big_buffer().data(), kBigMember) != kBigMember)
      state.SkipWithError("host read failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBigMember);
}

// Peers are repeated, their repetitions interleaved at random, and compared by median times.
BENCHMARK(BM_LookupIndexed);
BENCHMARK(BM_LookupScan);
BENCHMARK(BM_HostWrite)->Unit(benchmark::kMillisecond)->Repetitions(15);
BENCHMARK(BM_MemberWrite)->Unit(benchmark::kMillisecond)->Repetitions(15);
BENCHMARK(BM_HostRead)->Unit(benchmark::kMillisecond)->Repetitions(15);
BENCHMARK(BM_MemberRead)->Unit(benchmark::kMillisecond)->Repetitions(15);

// Console output as usual; remembers each benchmark's real and CPU time per iteration (the
// medians when repeated) for the ratios printed afterwards. CPU time, which includes the time
// spent in the kernel's copies, is the steadier of the two on a shared machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
      real_[name] = run.GetAdjustedRealTime();
      cpu_[name] = run.GetAdjustedCPUTime();
    }
  }
  void PrintRatios() const {
    // Prints time(second) / time(first), by real and by CPU time.
    auto ratio = [&](const char* label, const char* first, const char* second) {
      const auto ra = real_.find(first);
      const auto rb = real_.find(second);
      const auto ca = cpu_.find(first);
      const auto cb = cpu_.find(second);
      if (ra == real_.end() || rb == real_.end() || ra->second <= 0 || ca->second <= 0) return;
      std::printf("%-50s real %8.3f   cpu %8.3f\n", label, rb->second / ra->second,
                  cb->second / ca->second);
    };
    ratio("scan time / indexed time per lookup:", "BM_LookupIndexed", "BM_LookupScan");
    ratio("member write throughput / host write throughput:", "BM_MemberWrite", "BM_HostWrite");
    ratio("member read throughput / host read throughput:", "BM_MemberRead", "BM_HostRead");
  }

 private:
  std::map<std::string, double> real_;
  std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  char templ[] = "/tmp/vfs_bench_XXXXXX";
  if (mkdtemp(templ) == nullptr) return 1;
  g_dir = templ;
  if (!write_whole(scratch_file("big.pak"), archive_bytes(kEntries)) ||
      !write_whole(scratch_file("member.pak"), archive_bytes(0))) {
    return 1;
  }

  // Interleaving the repetitions spreads drift of the shared machine over both peers.
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int count = int(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();

  for (const char* f : {"big.pak", "member.pak", "plain.bin"}) std::remove(scratch_file(f).c_str());
  std::remove(g_dir.c_str());
  return 0;
}
