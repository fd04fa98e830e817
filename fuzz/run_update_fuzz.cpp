// Fuzz target for the whole update over the in-memory host: a hostile game folder (game
// executable, update pack, install record) and a hostile updater (the archive its executable
// carries), with one change of the folder planned to fail. The folder afterwards is exactly as
// it was or exactly the updated one (the payload's two members inflated, the record appended
// to), never anything between, and the result says which.
//
// Input: [failing change, 0: none][which game files exist: bit 0 executable, 1 pack, 2 record]
//        [u16 length][game pack][u16 length][install record][u16 length][game executable]
//        [the updater's own bytes: an executable with an archive appended]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
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
// Payload content up to this size must fit the in-memory host's files.
constexpr uint32_t kContentLimit = uint32_t(memory_host::FILE_LIMIT / 2);

// A member's stored bytes from the updater's archive, read before the run.
std::optional<Bytes> payload_member(const char* member) {
  if (pak_open(kSelf, PAK_OPEN_READ) < 0) return std::nullopt;
  std::optional<Bytes> out = member_bytes(member);
  pak_close_all();
  return out;
}

// Whether the updater's archive mounts a letter range that takes in the game folder's drive:
// the new copies would then be written into that archive, which refuses them.
bool payload_shadows_folder() {
  if (pak_open(kSelf, PAK_OPEN_READ) < 0) return false;
  const bool shadows = vfs_archive_for_path(kExe) >= 0;
  pak_close_all();
  return shadows;
}

std::optional<Bytes> payload_content(const char* member) {
  const std::optional<Bytes> stored = payload_member(member);
  return stored ? record_content(*stored, kContentLimit) : std::nullopt;
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
  memory_host::put(kSelf, in.rest());

  // What the folder becomes when the update goes through, worked out without the updater.
  const Folder before = memory_host::files();
  const std::optional<Bytes> newExe = payload_content("#:\\Velmor.EXE");
  const std::optional<Bytes> newPack = payload_content("#:\\Update.PAK");
  std::optional<Folder> updated;
  if (newExe && newPack) {
    updated = before;
    (*updated)[kExe] = *newExe;
    (*updated)[kPack] = *newPack;
    if (present & 4) (*updated)[kRecord] = install_record_after_append(record);
  }

  const bool shadowed = payload_shadows_folder();
  std::strcpy(gameFolder, "G:");
  selfPathOverride = kSelf;
  updateResult = 0;
  memory_host::fail_change(failingChange);
  RunUpdate();

  const Folder& after = memory_host::files();
  if (updateResult == RESULT_UPDATED) {
    if (!updated) folder_broken("updated from a payload that cannot be", before, after);
    if (after != *updated) folder_broken("updated, but not to the payload", *updated, after);
  } else if (after != before) {
    folder_broken("not updated, yet the folder changed", before, after);
  }
  // Into a folder without a game, a sound payload always installs when nothing fails.
  if (failingChange == 0 && (present & 1) == 0 && updated && !shadowed &&
      updateResult != RESULT_UPDATED) {
    folder_broken("a sound payload was not installed", *updated, after);
  }
  if (g_archiveTop != 0 || g_openMemberCount != 0) abort();
  selfPathOverride = nullptr;
  std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
  host_restore_all();
  return 0;
}
