// Delta updates against whole-file updates, in one run: the updater's size for a 200 MiB update
// pack that gains 2 MiB of packed members; the time the update takes to rebuild the new copies
// from the player's files beside the time it takes to inflate the whole files (the step alone,
// and the whole run with the hashing that matches the player's files first); the updater's
// memory when its base is a 1 GiB pack; and the delta of an executable with 1% of its bytes
// changed in scattered places beside the packed whole file. Each goal printed met or missed.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/delta_update.h"
#include "app/updater.h"
#include "archive/delta_encode.h"
#include "archive/masked_stream.h"
#include "archive/pak_table.h"
#include "host/host.h"
#include "game_bytes.h"
#include "peak_memory.h"
#include "support/host_override.h"
#include "support/pak_fixture.h"
#include "tools/pak/pak_commands.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMiB = size_t(1) << 20;
constexpr size_t kPackBytes = 200 * kMiB;
constexpr size_t kAddedBytes = 2 * kMiB;
constexpr size_t kLargeBytes = 1024 * kMiB;
constexpr size_t kExeBytes = 8 * kMiB;
constexpr double kSizeAllowanceMiB = 3;  // over the stub and the packed executable
constexpr double kMemoryBoundMiB = 64;
constexpr double kSpeedGoal = 0.8;
constexpr int kRounds = 3;

// Packed members do not pack again: random bytes stand for them.
Bytes noise(size_t n, uint64_t seed) {
  Rng r;
  r.x ^= seed * 0x2545F4914F6CDD1Dull;
  Bytes out(n);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t v = r.next();
    std::memcpy(&out[i], &v, 8);
  }
  for (; i < n; ++i) out[i] = uint8_t(r.next());
  return out;
}

// An update pack of members of 2 MiB filling total bytes, plus extra members of 512 KiB filling
// added bytes and the marker: the new members come after the old ones, as the tool adds them.
Bytes pack(size_t total, size_t added, bool marker) {
  FixtureArchive a;
  for (size_t i = 0; i * 2 * kMiB < total; ++i) a.members.push_back({"Data" + std::to_string(i), noise(2 * kMiB, i + 1), false, 0});
  for (size_t i = 0; i * kMiB / 2 < added; ++i) a.members.push_back({"New" + std::to_string(i), noise(kMiB / 2, 1000 + i), false, 0});
  if (marker) a.members.push_back({"Update01.txt", bytes_of("1.01"), false, 0});
  return pak_fixture_bytes(a);
}

bool write_file(const fs::path& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int pak(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"pak"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  ToolIo io{out, err, false};
  const int code = pak_main(int(argv.size()), argv.data(), io);
  if (code != 0) std::printf("pak failed: %s", err.str().c_str());
  return code;
}

int pak_build(const fs::path& folder, const fs::path& out, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"build-updater", "--stub", (folder / "stub.exe").string(), "--game-exe",
                                   (folder / "new" / "Velmor.EXE").string(), "--pack",
                                   (folder / "new" / "Update.PAK").string(), "-o", out.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  return pak(args);
}

// The player's folder holding the old version again, its bytes on disk.
void reset_game(const fs::path& folder) {
  const fs::path game = folder / "game";
  fs::remove_all(game);
  fs::create_directories(game);
  fs::copy_file(folder / "old" / "Velmor.EXE", game / "Velmor.EXE");
  fs::copy_file(folder / "old" / "Update.PAK", game / "Update.PAK");
  sync();
}

bool run_updater(const fs::path& folder, const fs::path& updater) {
  std::strcpy(gameFolder, (folder / "game").string().c_str());
  static std::string self;
  self = updater.string();
  selfPathOverride = self.c_str();
  RunUpdate();
  return updateResult == RESULT_UPDATED;
}

bool same_file(const fs::path& a, const fs::path& b) {
  return fs::file_size(a) == fs::file_size(b) && read_file_bytes(a.string()) == read_file_bytes(b.string());
}

// The rebuilding step alone, as RunUpdate takes it: the game files matched to the payload's
// bases (delta side only; none without a manifest), then both new copies written, checked and
// flushed into staged files, each the way its updater carries it. Seconds of each part.
struct StepTimes {
  double matching = 0, writing = 0;
  bool ok = false;
};
StepTimes write_step(const fs::path& folder, const fs::path& updater) {
  StepTimes t;
  std::strcpy(gameFolder, (folder / "game").string().c_str());
  if (pak_open(updater.string().c_str(), PAK_OPEN_READ) < 0) return t;
  DeltaPlan plan;
  double t0 = now_s();
  t.ok = DeltaPlanMake(gameFolder, &plan) == 0;
  t.matching = now_s() - t0;
  t0 = now_s();
  for (int file = 0; file < DELTA_FILE_COUNT && t.ok; ++file) {
    const fs::path staged = folder / "game" / (std::string("staged") + char('0' + file));
    const HostHandle h = host_create(staged.string().c_str(), 0);
    t.ok = h != HOST_INVALID_HANDLE &&
           DeltaWriteGameFile(h, gameFolder, plan, file, file == DELTA_FILE_EXE ? PAYLOAD_EXE : PAYLOAD_PACK) == 0;
    if (h != HOST_INVALID_HANDLE) host_close(h);
  }
  t.writing = now_s() - t0;
  pak_close_all();
  t.ok = t.ok && same_file(folder / "game" / "staged1", folder / "new" / "Update.PAK") &&
         same_file(folder / "game" / "staged0", folder / "new" / "Velmor.EXE");
  return t;
}

// Lays out the old and new versions and the stub in folder.
void make_versions(const fs::path& folder, size_t packBytes, const Bytes& oldExe, const Bytes& newExe) {
  fs::create_directories(folder / "old");
  fs::create_directories(folder / "new");
  write_file(folder / "stub.exe", pak_fixture_executable(64 * 1024));
  write_file(folder / "old" / "Velmor.EXE", oldExe);
  write_file(folder / "new" / "Velmor.EXE", newExe);
  write_file(folder / "old" / "Update.PAK", pack(packBytes, 0, false));
  write_file(folder / "new" / "Update.PAK", pack(packBytes, kAddedBytes, true));
  malloc_trim(0);
}

size_t packed_size(const Bytes& content) {
  Bytes out(content.size() + content.size() / 500 + 128);
  return PAK_MEMBER_RECORD_HEADER_SIZE +
         masked_compress2(out.data(), content.data(), uint32_t(content.size()), uint32_t(out.size()), -1);
}

const char* verdict(bool met) { return met ? "met" : "NOT MET"; }

// Host-layer allocations at their peak during the update.
size_t g_live = 0, g_peak = 0;
void* counting_alloc(size_t bytes) {
  void* p = g_hostDefaultOps.alloc(bytes);
  if (p != nullptr && (g_live += malloc_usable_size(p)) > g_peak) g_peak = g_live;
  return p;
}
void* counting_realloc(void* block, size_t bytes) {
  const size_t old = block != nullptr ? malloc_usable_size(block) : 0;
  void* p = g_hostDefaultOps.realloc(block, bytes);
  if (p != nullptr && (g_live = g_live - old + malloc_usable_size(p)) > g_peak) g_peak = g_live;
  return p;
}
void counting_free(void* block) {
  if (block != nullptr) g_live -= malloc_usable_size(block);
  g_hostDefaultOps.free(block);
}

}  // namespace

// With the argument "small", the 1 GiB part is left out.
int main(int argc, char** argv) {
  const bool large1GiB = !(argc > 1 && std::strcmp(argv[1], "small") == 0);
  const fs::path root = fs::temp_directory_path() / ("velmor-delta-bench-" + std::to_string(getpid()));
  const Bytes oldExe = game_bytes(kExeBytes, 7);
  Bytes newExe = oldExe;
  Rng r;
  for (size_t i = 0; i < newExe.size() / 100; ++i) newExe[r.next() % newExe.size()] ^= uint8_t(1 + r.next() % 255);

  // Size: a 200 MiB pack gaining 2 MiB of packed members.
  const fs::path pair = root / "pair";
  std::printf("building versions (%zu MiB pack, %zu MiB added; %zu MiB executable)...\n", kPackBytes / kMiB,
              kAddedBytes / kMiB, kExeBytes / kMiB);
  make_versions(pair, kPackBytes, oldExe, newExe);
  double t0 = now_s();
  if (pak_build(pair, pair / "Whole.exe", {}) != 0) return 1;
  const double wholeBuild = now_s() - t0;
  t0 = now_s();
  if (pak_build(pair, pair / "Delta.exe", {"--base", (pair / "old").string()}) != 0) return 1;
  const double deltaBuild = now_s() - t0;
  const double stub = double(fs::file_size(pair / "stub.exe"));
  const double packedExe = double(packed_size(newExe));
  const double whole = double(fs::file_size(pair / "Whole.exe"));
  const double delta = double(fs::file_size(pair / "Delta.exe"));
  const double allowed = stub + packedExe + kSizeAllowanceMiB * double(kMiB);
  std::printf("\nupdater with whole files: %.2f MiB (built in %.1f s)\n", whole / double(kMiB), wholeBuild);
  std::printf("updater with deltas:      %.2f MiB (built in %.1f s)\n", delta / double(kMiB), deltaBuild);
  std::printf("  stub %.2f MiB + packed executable %.2f MiB + %.0f MiB = %.2f MiB: %s\n", stub / double(kMiB),
              packedExe / double(kMiB), kSizeAllowanceMiB, allowed / double(kMiB), verdict(delta <= allowed));

  // Speed: the same output rebuilt and inflated, in alternation.
  double wholeTime = 0, deltaTime = 0;
  bool ok = true;
  for (int round = 0; round < kRounds && ok; ++round) {
    for (int side = 0; side < 2; ++side) {
      const bool rebuild = (side == 0) == (round % 2 == 0);
      reset_game(pair);
      t0 = now_s();
      ok = run_updater(pair, pair / (rebuild ? "Delta.exe" : "Whole.exe")) && ok;
      (rebuild ? deltaTime : wholeTime) += now_s() - t0;
      ok = ok && same_file(pair / "game" / "Update.PAK", pair / "new" / "Update.PAK") &&
           same_file(pair / "game" / "Velmor.EXE", pair / "new" / "Velmor.EXE");
    }
  }
  // The rebuilding step alone, in alternation too.
  StepTimes wholeStep, deltaStep;
  for (int round = 0; round < kRounds && ok; ++round) {
    for (int side = 0; side < 2; ++side) {
      const bool rebuild = (side == 0) == (round % 2 == 0);
      reset_game(pair);
      const StepTimes t = write_step(pair, pair / (rebuild ? "Delta.exe" : "Whole.exe"));
      ok = ok && t.ok;
      StepTimes& sum = rebuild ? deltaStep : wholeStep;
      sum.matching += t.matching;
      sum.writing += t.writing;
    }
  }
  const double stepShare = deltaStep.writing > 0 ? wholeStep.writing / deltaStep.writing : 0;
  const double share = deltaTime > 0 ? wholeTime / deltaTime : 0;
  std::printf("\nnew copies written, checked and flushed, %d rounds: inflated %.0f ms, rebuilt %.0f ms a "
              "round (%s)\n", kRounds, wholeStep.writing / kRounds * 1e3, deltaStep.writing / kRounds * 1e3,
              ok ? "same output" : "FAILED");
  std::printf("  rebuilding at %.2f of the whole files' speed (goal >= %.1f): %s\n", stepShare, kSpeedGoal,
              verdict(ok && stepShare >= kSpeedGoal));
  std::printf("whole update, %d rounds: whole files %.0f ms, deltas %.0f ms a round (%s)\n", kRounds,
              wholeTime / kRounds * 1e3, deltaTime / kRounds * 1e3, ok ? "same output" : "FAILED");
  std::printf("  the delta update at %.2f of the whole-file update's speed; before any change it hashes the\n"
              "  player's files to match them to a base: %.0f ms a round (%.0f MiB/s)\n",
              share, deltaStep.matching / kRounds * 1e3,
              double(kPackBytes + kExeBytes) / double(kMiB) / (deltaStep.matching / kRounds));

  // The executable with 1% of its bytes changed: the delta beside the packed whole file.
  const Bytes exeDelta = delta_encode(oldExe.data(), oldExe.size(), newExe.data(), newExe.size());
  std::printf("\nexecutable, %zu MiB, 1%% of bytes changed in scattered places: packed delta %.2f MiB, "
              "packed whole file %.2f MiB (%.0f%%)\n", kExeBytes / kMiB, double(packed_size(exeDelta)) / double(kMiB),
              packedExe / double(kMiB), 100.0 * double(packed_size(exeDelta)) / packedExe);
  std::error_code ignored;
  fs::remove_all(pair, ignored);
  if (!large1GiB) return 0;

  // Memory: a 1 GiB base.
  const fs::path large = root / "large";
  std::printf("\nbuilding versions with a %zu MiB pack...\n", kLargeBytes / kMiB);
  make_versions(large, kLargeBytes, oldExe, newExe);
  if (pak_build(large, large / "Delta.exe", {"--base", (large / "old").string()}) != 0) return 1;
  reset_game(large);
  malloc_trim(0);
  g_live = g_peak = 0;
  host_override(&HostOps::alloc, counting_alloc);
  host_override(&HostOps::realloc, counting_realloc);
  host_override(&HostOps::free, counting_free);
  bool updated = false;
  t0 = now_s();
  const double rise = peak_memory::rise_mib([&] { return run_updater(large, large / "Delta.exe"); }, &updated);
  const double seconds = now_s() - t0;
  host_restore_all();
  updated = updated && same_file(large / "game" / "Update.PAK", large / "new" / "Update.PAK");
  std::printf("update from a %zu MiB base: %s in %.1f s\n", kLargeBytes / kMiB, updated ? "rebuilt" : "FAILED", seconds);
  std::printf("  peak host-layer memory: %.2f MiB (bound %.0f MiB): %s\n", double(g_peak) / double(kMiB),
              kMemoryBoundMiB, verdict(updated && double(g_peak) <= kMemoryBoundMiB * double(kMiB)));
  if (rise >= 0) {
    std::printf("  resident peak above the baseline: %.2f MiB (bound %.0f MiB): %s\n", rise, kMemoryBoundMiB,
                verdict(updated && rise <= kMemoryBoundMiB));
  }
  fs::remove_all(root, ignored);
  return 0;
}
