// The whole update against its peer and its floor: RunUpdate installing a 64 MiB executable and a
// 256 MiB update pack from an updater's payload, run in turn with the best plain zlib program
// (streaming inflate into reused buffers, write, flush) and with the floor (the same bytes read
// and written, nothing inflated). Then the memory an update with a 1.5 GiB member takes
// above the process's baseline (host-layer allocations and the resident peak), beside its bound.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/updater.h"
#include "archive/masked_deflate.h"
#include "archive/masked_stream.h"
#include "archive/pak_format.h"
#include "archive/pak_table.h"
#include "host/host.h"
#include "game_bytes.h"
#include "peak_memory.h"
#include "support/host_override.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kExeBytes = 64u << 20;
constexpr size_t kPackBytes = 256u << 20;
constexpr size_t kLargeBytes = size_t(3) << 29;  // 1.5 GiB
constexpr double kGoal = 0.95;  // our throughput at least this share of the peer's
constexpr double kMemoryBoundMiB = 16;  // the update's memory above the baseline, at most

struct StoredMember {
  std::string name;
  int64_t recordAt = 0;  // file offset of the packed record
  uint32_t recordSize = 0;
  uint32_t unpacked = 0;
};

struct Payload {
  fs::path folder;
  std::string updater;
  std::vector<StoredMember> members;
};

bool write_all(int fd, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= size_t(w);
  }
  return true;
}

// Highly compressible content of any length, made as it is read: numbered lines of text.
struct LineSource {
  uint64_t line = 0;
  std::string pending;
  size_t at = 0;
};

bool read_lines(void* context, void* buffer, int32_t count) {
  auto* s = static_cast<LineSource*>(context);
  auto* out = static_cast<uint8_t*>(buffer);
  for (int32_t done = 0; done < count;) {
    if (s->at == s->pending.size()) {
      s->pending = "line " + std::to_string(s->line++) + " of the large update member\n";
      s->at = 0;
    }
    const size_t n = std::min(s->pending.size() - s->at, size_t(count - done));
    std::memcpy(out + done, s->pending.data() + s->at, n);
    s->at += n;
    done += int32_t(n);
  }
  return true;
}

bool write_fd(void* context, const void* data, int32_t count) {
  return write_all(*static_cast<int*>(context), data, size_t(count));
}

// Writes the packed record of size bytes at the file's end; its size, or 0 on failure.
uint32_t write_record(int fd, size_t size, bool compressible) {
  if (compressible) {
    uint8_t head[PAK_MEMBER_RECORD_HEADER_SIZE] = {};
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (!write_all(fd, head, sizeof head)) return 0;
    LineSource lines;
    int out = fd;
    const int64_t packed = masked_deflate_stream(ByteSource{read_lines, &lines}, uint32_t(size), 1,
                                                 ByteSink{write_fd, &out});
    if (packed <= 0) return 0;
    pak_member_record_encode(head, PakMemberRecord{uint32_t(size), uint32_t(packed)});
    if (pwrite(fd, head, sizeof head, at) != ssize_t(sizeof head)) return 0;
    return uint32_t(PAK_MEMBER_RECORD_HEADER_SIZE + uint64_t(packed));
  }
  const std::vector<uint8_t> c = game_bytes(size, size);
  std::vector<uint8_t> record(PAK_MEMBER_RECORD_HEADER_SIZE + compressBound(uLong(size)));
  const uint32_t packed = masked_compress(record.data() + PAK_MEMBER_RECORD_HEADER_SIZE, c.data(),
                                          uint32_t(size), uint32_t(record.size() - 8));
  pak_member_record_encode(record.data(), PakMemberRecord{uint32_t(size), packed});
  const uint32_t recordSize = uint32_t(PAK_MEMBER_RECORD_HEADER_SIZE + packed);
  return write_all(fd, record.data(), recordSize) ? recordSize : 0;
}

// Writes an updater: a stub, then the archive (header, two packed records, compressed
// directory), then the locator. Each member is generated, packed and written in turn; the
// pack is game-file-like, or highly compressible lines when compressible.
Payload make_payload(const char* label, size_t packBytes, bool compressible) {
  Payload p;
  p.folder = fs::temp_directory_path() /
             ("velmor-update-bench-" + std::string(label) + "-" + std::to_string(getpid()));
  fs::create_directories(p.folder / "game");
  p.updater = (p.folder / "VelmorUpdate.exe").string();
  const int fd = open(p.updater.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::vector<uint8_t> stub(4096, 0xCC);
  write_all(fd, stub.data(), stub.size());
  const int64_t base = int64_t(stub.size());
  uint8_t header[PAK_HEADER_SIZE] = {};
  write_all(fd, header, sizeof header);  // filled in at the end

  std::vector<PakEntry> entries;
  int64_t at = base + int64_t(PAK_HEADER_SIZE);
  const std::pair<const char*, size_t> files[] = {{"#:\\Velmor.EXE", kExeBytes},
                                                  {"#:\\Update.PAK", packBytes}};
  for (const auto& [name, size] : files) {
    const bool pack = std::strcmp(name, "#:\\Update.PAK") == 0;
    const uint32_t recordSize = write_record(fd, size, pack && compressible);
    PakEntry e{};
    e.size = int32_t(recordSize);
    e.offset = int32_t(at - base);
    std::strncpy(e.name, name, sizeof e.name - 1);
    entries.push_back(e);
    p.members.push_back({name, at, recordSize, uint32_t(size)});
    at += recordSize;
  }
  std::vector<uint8_t> directory(entries.size() * PAK_ENTRY_SIZE);
  pak_entries_to_disk(directory.data(), entries.data(), entries.size());
  std::vector<uint8_t> stream(directory.size() + 256);
  const uint32_t streamSize = masked_compress(stream.data(), directory.data(),
                                              uint32_t(directory.size()), uint32_t(stream.size()));
  write_all(fd, stream.data(), streamSize);
  uint8_t locator[PAK_LOCATOR_SIZE];
  pak_locator_encode(locator, uint32_t(base));
  write_all(fd, locator, sizeof locator);

  PakHeader h{};
  h.magic = PAK_MAGIC;
  h.entryCount = int32_t(entries.size());
  h.directoryOffset = int32_t(at - base);
  h.firstLetter = '#';
  h.lastLetter = '#';
  h.packedDirectorySize = int32_t(streamSize);
  const PakHeaderBytes hb = pak_header_encode(h);
  pwrite(fd, hb.data(), hb.size(), base);
  close(fd);
  return p;
}

const Payload& payload() {
  static const Payload p = make_payload("pair", kPackBytes, false);
  return p;
}

std::string game_file(const Payload& p, const char* name) {
  return (p.folder / "game" / name).string();
}
std::string game_file(const char* name) { return game_file(payload(), name); }

// The game folder as installed before each run: a small executable, no update pack, a record.
void reset_game(const Payload& p = payload()) {
  std::error_code ignored;
  for (const auto& e : fs::directory_iterator(p.folder / "game")) fs::remove(e.path(), ignored);
  FILE* f = std::fopen(game_file(p, "Velmor.EXE").c_str(), "wb");
  std::fputs("old executable", f);
  std::fclose(f);
  std::vector<uint8_t> record(776 + 16, 0);
  store_le32(&record[768], 776);
  store_le32(&record[772], 1);
  std::memcpy(&record[776], "Data.PAK", 9);
  f = std::fopen(game_file(p, "INSTALL.DAT").c_str(), "wb");
  std::fwrite(record.data(), 1, record.size(), f);
  std::fclose(f);
  sync();  // neither side pays for the other's or the reset's writes
}

// Counting host allocator: the bytes the update holds from the host layer at its peak.
size_t g_liveBytes = 0, g_peakBytes = 0;
void* counting_alloc(size_t bytes) {
  void* p = g_hostDefaultOps.alloc(bytes);
  if (p != nullptr) {
    g_liveBytes += malloc_usable_size(p);
    if (g_liveBytes > g_peakBytes) g_peakBytes = g_liveBytes;
  }
  return p;
}
void* counting_realloc(void* block, size_t bytes) {
  const size_t old = block != nullptr ? malloc_usable_size(block) : 0;
  void* p = g_hostDefaultOps.realloc(block, bytes);
  if (p != nullptr) {
    g_liveBytes = g_liveBytes - old + malloc_usable_size(p);
    if (g_liveBytes > g_peakBytes) g_peakBytes = g_liveBytes;
  }
  return p;
}
void counting_free(void* block) {
  if (block != nullptr) g_liveBytes -= malloc_usable_size(block);
  g_hostDefaultOps.free(block);
}

bool ours(const Payload& p = payload()) {
  std::strcpy(gameFolder, (p.folder / "game").string().c_str());
  selfPathOverride = p.updater.c_str();
  RunUpdate();
  return updateResult == RESULT_UPDATED;
}

constexpr size_t kPeerChunk = 1u << 20;

// The best a plain zlib program does with the same records: each read a chunk at a time into one
// reused buffer, inflated as a stream into one reused buffer, each piece written as it comes,
// the file flushed at the end.
bool peer() {
  const int in = open(payload().updater.c_str(), O_RDONLY);
  bool ok = in >= 0;
  const std::unique_ptr<uint8_t[]> input(new uint8_t[kPeerChunk]);
  const std::unique_ptr<uint8_t[]> output(new uint8_t[kPeerChunk]);
  for (const StoredMember& m : payload().members) {
    if (!ok) break;
    const std::string target = game_file(m.name.c_str() + 3) + ".peer";
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    z_stream z{};
    ok = fd >= 0 && inflateInit(&z) == Z_OK;
    int64_t at = m.recordAt + PAK_MEMBER_RECORD_HEADER_SIZE;
    const int64_t end = m.recordAt + m.recordSize;
    int status = Z_OK;
    bool first = true;
    while (ok && status != Z_STREAM_END && at < end) {
      const size_t want = size_t(std::min<int64_t>(int64_t(kPeerChunk), end - at));
      ok = pread(in, input.get(), want, at) == ssize_t(want);
      if (first) input[0] ^= STREAM_MASK;  // the stream's first byte is masked
      first = false;
      at += int64_t(want);
      z.next_in = input.get();
      z.avail_in = uInt(want);
      do {
        z.next_out = output.get();
        z.avail_out = uInt(kPeerChunk);
        status = inflate(&z, Z_NO_FLUSH);
        ok = ok && (status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR) &&
             write_all(fd, output.get(), kPeerChunk - z.avail_out);
      } while (ok && z.avail_out == 0 && status != Z_STREAM_END);
    }
    ok = ok && status == Z_STREAM_END && z.total_out == m.unpacked && fsync(fd) == 0;
    inflateEnd(&z);
    if (fd >= 0) close(fd);
  }
  if (in >= 0) close(in);
  return ok;
}

// The floor: what no update can beat on this disk. The same records read a chunk at a time and
// as many bytes as they unpack to written and flushed, with nothing inflated.
bool floor_run() {
  const int in = open(payload().updater.c_str(), O_RDONLY);
  bool ok = in >= 0;
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kPeerChunk]);
  for (const StoredMember& m : payload().members) {
    if (!ok) break;
    const std::string target = game_file(m.name.c_str() + 3) + ".floor";
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ok = fd >= 0;
    for (int64_t at = 0; ok && at < m.recordSize; at += int64_t(kPeerChunk)) {
      const size_t want = size_t(std::min<int64_t>(int64_t(kPeerChunk), m.recordSize - at));
      ok = pread(in, buffer.get(), want, m.recordAt + at) == ssize_t(want);
    }
    for (size_t left = m.unpacked; ok && left > 0;) {
      const size_t n = std::min(left, kPeerChunk);
      ok = write_all(fd, buffer.get(), n);
      left -= n;
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0) close(fd);
  }
  if (in >= 0) close(in);
  return ok;
}

double wall_ns() {
  return double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
}

// Ours, the peer and the floor in turn (which goes first rotates every iteration), on the wall
// clock: the work is as much the disk's as the processor's.
void update_pair(benchmark::State& state) {
  enum Side { kOurs, kPeer, kFloor };
  double ns[3] = {0, 0, 0};
  static int first = 0;
  for (auto _ : state) {
    for (int turn = 0; turn < 3; ++turn) {
      const int side = (first + turn) % 3;
      state.PauseTiming();
      reset_game();
      host_override(&HostOps::alloc, counting_alloc);
      host_override(&HostOps::realloc, counting_realloc);
      host_override(&HostOps::free, counting_free);
      state.ResumeTiming();
      const double t0 = wall_ns();
      const bool ok = side == kOurs ? ours() : side == kPeer ? peer() : floor_run();
      ns[side] += wall_ns() - t0;
      host_restore_all();
      if (!ok) state.SkipWithError(side == kOurs ? "update failed" : side == kPeer ? "peer failed" : "floor failed");
    }
    first = (first + 1) % 3;
  }
  const double calls = double(state.iterations());
  const double bytes = double(kExeBytes + kPackBytes) * calls;
  state.counters["ours_MB/s"] = bytes / ns[kOurs] * 1e3;
  state.counters["peer_MB/s"] = bytes / ns[kPeer] * 1e3;
  state.counters["floor_MB/s"] = bytes / ns[kFloor] * 1e3;
  state.counters["ours_share"] = ns[kPeer] / ns[kOurs];
  state.counters["ours_ms"] = ns[kOurs] / calls / 1e6;
  state.counters["peer_ms"] = ns[kPeer] / calls / 1e6;
  state.counters["floor_ms"] = ns[kFloor] / calls / 1e6;
}

class ShareReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const auto ms = [&run](const char* key) { return double(run.counters.at(key)) * run.iterations; };
      ours_ += ms("ours_ms");
      peer_ += ms("peer_ms");
      floor_ += ms("floor_ms");
    }
  }
  void print() const {
    if (ours_ <= 0) return;
    const double share = peer_ / ours_;
    std::printf("\nthroughput RunUpdate vs streaming zlib inflate + write + flush: %.3f of the peer's "
                "(goal >= %.2f) %s\n",
                share, kGoal, share >= kGoal ? "met" : "MISSED");
    std::printf("throughput RunUpdate vs the floor (read + write + flush, no inflate): %.3f of the "
                "floor's\n", floor_ / ours_);
  }

 private:
  double ours_ = 0, peer_ = 0, floor_ = 0;
};

// One update whose pack is a 1.5 GiB member: the host-layer allocations at their peak (zlib's
// own state included, which the library takes through the host layer) and the rise of the
// resident peak above the resident size before the run, each beside the bound.
void large_update_memory() {
  std::printf("\nbuilding the large payload (%zu MiB + %zu MiB, highly compressible)...\n",
              kExeBytes >> 20, kLargeBytes >> 20);
  const Payload large = make_payload("large", kLargeBytes, true);
  reset_game(large);
  malloc_trim(0);
  g_liveBytes = g_peakBytes = 0;
  host_override(&HostOps::alloc, counting_alloc);
  host_override(&HostOps::realloc, counting_realloc);
  host_override(&HostOps::free, counting_free);
  bool ok = false;
  const double t0 = wall_ns();
  const double rise = peak_memory::rise_mib([&large] { return ours(large); }, &ok);
  const double seconds = (wall_ns() - t0) / 1e9;
  host_restore_all();
  std::printf("update with a %zu MiB member: %s in %.1f s\n", kLargeBytes >> 20,
              ok ? "updated" : "FAILED", seconds);
  const double host = double(g_peakBytes) / 1048576.0;
  std::printf("  peak host-layer memory: %.2f MiB (bound %.0f MiB: %s)\n", host, kMemoryBoundMiB,
              host <= kMemoryBoundMiB ? "met" : "MISSED");
  if (rise >= 0) {
    std::printf("  resident peak above the baseline: %.2f MiB (bound %.0f MiB: %s)\n", rise,
                kMemoryBoundMiB, rise <= kMemoryBoundMiB ? "met" : "MISSED");
  } else {
    std::printf("  resident peak: not measurable here (no /proc/self/clear_refs)\n");
  }
  std::error_code ignored;
  fs::remove_all(large.folder, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("RunUpdate/64MiB+256MiB", update_pair)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(4);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("building the payload (%zu MiB + %zu MiB)...\n", kExeBytes >> 20, kPackBytes >> 20);
  payload();
  ShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.print();

  std::printf("peak host memory during RunUpdate (64 MiB + 256 MiB): %.2f MiB\n",
              double(g_peakBytes) / 1048576.0);
  large_update_memory();
  std::error_code ignored;
  fs::remove_all(payload().folder, ignored);
  return 0;
}
