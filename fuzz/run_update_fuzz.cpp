// Fuzz target for the whole update over the in-memory host: a hostile game folder (game
// executable, update pack, install record, files named as an interrupted run names its own but
// with no journal, a game running) and a hostile updater (the archive its executable carries),
// with one change of the folder planned to fail. The folder afterwards is exactly the updated
// one (the look-alike names untouched), or as it was, never anything else, and the result says
// which.
//
// Input: [failing change, 0: none][folder: bit 0 executable, 1 pack, 2 record exist; 3 the
//        executable is running; 4 new-copy names, 5 backup names of the three files (a backup
//        holds the file's bytes below); 6 those names in other letter case; 7 a look-alike
//        name beside them][u16 length][game pack][u16 length][install record][u16 length]
//        [game executable][the updater's own bytes: an executable with an archive appended]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/interrupted_run.h"
#include "app/updater.h"
#include "archive/pak_table.h"
#include "fuzz_input.h"
#include "install_record_model.h"
#include "masked_model.h"
#include "member_bytes.h"
#include "support/host_override.h"
#include "support/memory_host.h"
#include "vfs/file_handle.h"
#include "vfs/mount_path.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Folder = std::map<std::string, Bytes>;

constexpr char kSelf[] = "self.exe";
constexpr char kExe[] = "G:\\Velmor.EXE";
constexpr char kPack[] = "G:\\Update.PAK";
constexpr char kRecord[] = "G:\\INSTALL.DAT";
constexpr char kLookAlike[] = "G:\\Velmor.EXE.~newer";

struct GameFile {
  const char* path;
  const char* otherCase;  // the same name as a leftover may spell it
};
const GameFile kGameFiles[] = {{kExe, "G:\\velmor.exe"},
                               {kPack, "G:\\UPDATE.pak"},
                               {kRecord, "G:\\install.DAT"}};
// Payload content up to this size must fit the in-memory host's files.
constexpr uint32_t kContentLimit = uint32_t(memory_host::FILE_LIMIT / 2);

// What the updater's archive offers, read once before the run: the two payload members'
// contents (by the independent inflate), and whether the archive mounts a letter range that
// takes in the game folder's drive (the new copies would then be written into that archive,
// which refuses them).
struct Payload {
  std::optional<Bytes> exe;
  std::optional<Bytes> pack;
  bool shadowsFolder = false;
};

Payload read_payload() {
  Payload p;
  if (pak_open(kSelf, PAK_OPEN_READ) < 0) return p;
  const auto content = [](const char* member) -> std::optional<Bytes> {
    const std::optional<Bytes> stored = member_bytes(member);
    return stored ? record_content(*stored, kContentLimit) : std::nullopt;
  };
  p.exe = content("#:\\Velmor.EXE");
  p.pack = content("#:\\Update.PAK");
  p.shadowsFolder = vfs_archive_for_path(kExe) >= 0;
  pak_close_all();
  return p;
}

// Says how the folder differs from what it should be, then stops.
[[noreturn]] void folder_broken(const char* what, const Folder& expected, const Folder& got) {
  std::fprintf(stderr, "%s (result 0x%x)\n", what, unsigned(updateResult));
  for (const auto& [name, bytes] : expected) {
    const auto it = got.find(name);
    if (it == got.end()) std::fprintf(stderr, "  missing: %s\n", name.c_str());
    else if (it->second != bytes) std::fprintf(stderr, "  other bytes: %s\n", name.c_str());
  }
  for (const auto& [name, bytes] : got) {
    if (expected.count(name) == 0) std::fprintf(stderr, "  left behind: %s\n", name.c_str());
  }
  abort();
}

// Puts files named as an interrupted run names its new copies and backups beside each game
// file. No journal names them, so the update leaves every one of them as it is.
void place_look_alikes(uint8_t folder, const Bytes* contents[3]) {
  const bool otherCase = (folder & 0x40) != 0;
  for (int i = 0; i < 3; ++i) {
    const std::string base = otherCase ? kGameFiles[i].otherCase : kGameFiles[i].path;
    if (folder & 0x10) memory_host::put(base + (otherCase ? ".~NEW3" : ".~new0"), {'h', 'a'});
    if (folder & 0x20) memory_host::put(base + (otherCase ? ".~OLD7" : ".~old0"), *contents[i]);
  }
  if (folder & 0x80) memory_host::put(kLookAlike, {'k'});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const int failingChange = in.byte();
  const uint8_t present = in.byte();
  const Bytes pack = in.block();
  const Bytes record = in.block();
  const Bytes exe = in.block();
  memory_host::install();
  if (present & 1) memory_host::put(kExe, exe);
  if (present & 2) memory_host::put(kPack, pack);
  if (present & 4) memory_host::put(kRecord, record);
  const Bytes* contents[3] = {&exe, &pack, &record};
  place_look_alikes(present, contents);
  const Folder recovered = memory_host::files();
  const bool running = (present & 8) != 0 && recovered.count(kExe) != 0;
  if (running) memory_host::set_busy(kExe);
  memory_host::put(kSelf, in.rest());

  // What the folder becomes when the update goes through, worked out without the updater.
  const Folder before = memory_host::files();
  const Payload payload = read_payload();
  const std::optional<Bytes>& newExe = payload.exe;
  const std::optional<Bytes>& newPack = payload.pack;
  std::optional<Folder> updated;
  if (newExe && newPack) {
    updated = recovered;
    (*updated)[kSelf] = before.at(kSelf);
    (*updated)[kExe] = *newExe;
    (*updated)[kPack] = *newPack;
    const auto oldRecord = recovered.find(kRecord);
    if (oldRecord != recovered.end()) {
      (*updated)[kRecord] = install_record_after_append(oldRecord->second);
    }
  }
  Folder afterRecovery = recovered;
  afterRecovery[kSelf] = before.at(kSelf);

  const bool shadowed = payload.shadowsFolder;
  std::strcpy(gameFolder, "G:");
  selfPathOverride = kSelf;
  updateResult = 0;
  memory_host::fail_change(failingChange);
  RunUpdate();

  const Folder& after = memory_host::files();
  if (updateResult == RESULT_UPDATED) {
    if (!updated) folder_broken("updated from a payload that cannot be", before, after);
    // A failed change after the commit may leave a backup and the journal naming it; the next
    // run's recovery removes them.
    if (after != *updated && (failingChange == 0 || after.count("G:\\VelmorUpdate.journal") == 0 ||
                              RecoverInterruptedUpdate("G:") != 0 || memory_host::files() != *updated)) {
      folder_broken("updated, but not to the payload", *updated, memory_host::files());
    }
    if (running) folder_broken("the running game was replaced", before, after);
  } else if (failingChange == 0 && after != afterRecovery) {
    folder_broken("not updated, yet the folder changed", afterRecovery, after);
  } else if (after != afterRecovery) {
    // A failed change may stop the way back part way, the journal kept: the next run's
    // recovery then makes the folder as it was.
    const bool journalled = after.count("G:\\VelmorUpdate.journal") != 0;
    if (failingChange == 0 || !journalled || RecoverInterruptedUpdate("G:") != 0 ||
        memory_host::files() != afterRecovery)
      folder_broken("not updated, and the folder not as it was", afterRecovery, memory_host::files());
  }
  // Into a folder without a game, a sound payload always installs when nothing fails.
  if (failingChange == 0 && recovered.count(kExe) == 0 && updated && !shadowed &&
      updateResult != RESULT_UPDATED) {
    folder_broken("a sound payload was not installed", *updated, after);
  }
  if (g_archiveTop != 0 || g_openMemberCount != 0) abort();
  selfPathOverride = nullptr;
  std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
  host_restore_all();
  return 0;
}
