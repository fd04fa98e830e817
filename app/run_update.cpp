// The update procedure: decides from the markers in the game's update pack whether this update
// or a later one is installed, and if not, replaces the game executable and the update pack
// with the updater's own copies and lists the pack in the install record, all or nothing.
#include <cstring>

#include "app/app_state.h"
#include "app/delta_update.h"
#include "app/game_path.h"
#include "app/install_record.h"
#include "app/interrupted_run.h"
#include "app/folder_change.h"
#include "app/update_progress.h"
#include "app/update_log.h"
#include "app/virtual_store.h"
#include "app/updater.h"
#include "archive/pak_recognise.h"
#include "archive/pak_table.h"
#include "host/host.h"
#include "vfs/mount_path.h"
#include "host/path.h"
#include "vfs/search.h"

namespace {

// What a look at a pack tells the update before it opens the pack.
enum class PackLook {
  Absent,      // no such file
  NotArchive,  // no archive there, or one that does not serve the letter
  Archive,     // an archive serving the letter, its directory inside the file
  Unreadable,  // there, but it could not be opened or read
};

PackLook look_at_pack(const char* path, char letter) {
  PakLocation at{};
  switch (pak_recognise(path, &at)) {
    case PakRefusal::None:
      break;
    case PakRefusal::NoSuchFile:
      return PackLook::Absent;
    case PakRefusal::Unreadable:
      return PackLook::Unreadable;
    default:
      return PackLook::NotArchive;
  }
  const auto served = static_cast<uint8_t>(letter);
  const bool serves = served >= at.header.firstLetter && served <= at.header.lastLetter;
  return serves ? PackLook::Archive : PackLook::NotArchive;
}

void fill_self_path() {
  if (selfPathOverride == nullptr) {
    get_arg_or_module_path(nullptr, 0, selfPath, sizeof selfPath);
    return;
  }
  const size_t length = strnlen(selfPathOverride, sizeof selfPath);
  if (length == sizeof selfPath) {
    selfPath[0] = '\0';
  } else {
    memcpy(selfPath, selfPathOverride, length + 1);
  }
}

bool game_path(char* out, const char* name) {
  return BuildGamePath(out, WORK_PATH_ROOM, gameFolder, name) == 0;
}

// The marker test: 0 when the update is to go on, else the result bit that ends the run.
uint32_t installed_version() {
  char path[WORK_PATH_ROOM];
  if (!game_path(path, GAME_EXE_NAME)) return RESULT_FAILED;
  // Without a game executable the update installs one, whatever the pack says; one that is
  // there but cannot be read, or that could not be looked at, is an installation the update
  // must not touch.
  const int exe = host_lookup(path, nullptr);
  if (exe == HOST_ABSENT) return 0;
  if (exe != HOST_FOUND || FileExists(path) == 0) return RESULT_FAILED;

  if (!game_path(path, GAME_PACK_NAME)) return RESULT_FAILED;
  switch (look_at_pack(path, GAME_PACK_LETTER)) {
    case PackLook::Absent:
    case PackLook::NotArchive:
      return 0;
    case PackLook::Unreadable:
      return RESULT_FAILED;
    case PackLook::Archive:
      break;
  }
  // A pack that reads as an archive but will not open may hold a later update: left alone.
  if (pak_open(path, PAK_OPEN_READ) < 0) return RESULT_FAILED;
  uint32_t result = 0;
  char found[VFS_NAME_ROOM];
  vfs_set_prefix_strip(1);
  if (vfs_find_first(MARKER_NEWER, HOST_ATTR_NORMAL, found) == 0) {
    result = RESULT_NEWER_INSTALLED;
    UpdateLogStep("marker test: a later update's marker Update02.txt is in", path);
  } else if (vfs_find_first(MARKER_THIS, HOST_ATTR_NORMAL, found) == 0) {
    result = RESULT_ALREADY_UPDATED;
    UpdateLogStep("marker test: this update's marker Update01.txt is in", path);
  } else {
    UpdateLogStep("marker test: no marker in", path);
  }
  vfs_set_prefix_strip(0);
  pak_close_all();
  return result;
}

// Writes the new copies (the install record's when it changes, the executable's, the pack's)
// through the journalled change, then puts them in place: the record and the executable first,
// the pack that carries this update's marker last, so that a run found interrupted before its
// commit is one whose pack is still the old one.
uint32_t install_payload() {
  // A payload with deltas: each game file matched to a base before anything is made.
  DeltaPlan plan;
  const uint32_t refused = DeltaPlanMake(gameFolder, &plan);
  if (refused != 0) {
    UpdateLogStep(refused == RESULT_GAME_FILES_BAD
                      ? "FAILED: a game file is none of the versions this update was made from"
                  : refused == RESULT_PACK_DAMAGED
                      ? "FAILED: the updater's manifest or a file it names is damaged or missing"
                      : "FAILED: reading the game files to match them to the update",
                  gameFolder);
    return refused;
  }
  char recordPath[WORK_PATH_ROOM];
  uint8_t* record = nullptr;
  size_t recordLength = 0;
  const int recordChanges =
      game_path(recordPath, INSTALL_RECORD_NAME) ? InstallRecordNew(recordPath, &record, &recordLength) : 0;
  if (recordChanges < 0) return RESULT_FAILED;
  uint8_t files[JOURNAL_MAX_FILES];
  int count = 0;
  if (recordChanges == 1) files[count++] = GAME_FILE_RECORD;
  const int exe = count;
  files[count++] = GAME_FILE_EXE;
  files[count++] = GAME_FILE_PACK;

  FolderChange change;
  const int begun = FolderChangeBegin(&change, gameFolder, files, count);
  if (begun != 0) {
    if (begun == HOST_IN_USE) runFailure = RunFailure::GameInUse;
    mem_free(record);
    return RESULT_FAILED;
  }
  // Each new copy written: without a manifest the whole member, inflated; with one, rebuilt or
  // checked; its size and CRC-32 counted on the way, for the journal. The first that fails is
  // named in the log.
  const auto write_copy = [&](int i, int deltaFile, const char* member) {
    ContentId written{};
    const int got = DeltaWriteGameFile(FolderChangeStaged(&change, i), gameFolder, plan, deltaFile,
                                       member, &written);
    if (got == 0) FolderChangeWritten(&change, i, written);
    return got;
  };
  const char* failed = nullptr;
  int copies = write_copy(exe, DELTA_FILE_EXE, PAYLOAD_EXE);
  if (copies != 0) {
    failed = GAME_EXE_NAME;
  } else if ((copies = write_copy(exe + 1, DELTA_FILE_PACK, PAYLOAD_PACK)) != 0) {
    failed = GAME_PACK_NAME;
  } else if (recordChanges == 1 && host_write(FolderChangeStaged(&change, 0), record,
                                              int32_t(recordLength)) != int32_t(recordLength)) {
    failed = INSTALL_RECORD_NAME;
  }
  mem_free(record);
  pak_close_all();
  if (failed != nullptr) {
    char path[WORK_PATH_ROOM];
    if (copies == DELTA_CONTENT_WRONG) {
      UpdateLogStep("FAILED: the new copy is not what the manifest says (size or SHA-256)",
                    game_path(path, failed) ? path : gameFolder);
    } else {
      UpdateLogFailure("writing the new copy of", game_path(path, failed) ? path : gameFolder);
    }
    FolderChangeAbandon(&change);
    return copies == DELTA_CONTENT_WRONG ? RESULT_PACK_DAMAGED : RESULT_FAILED;
  }
  return FolderChangeCommit(&change) == 0 ? RESULT_UPDATED : RESULT_FAILED;
}

// True when the game, run unelevated, would read the player's VirtualStore copies of files the
// update replaces instead of the files themselves: the update would report success while the
// game still saw old files. Nothing is changed then, and the log names the copies (the player
// removes them, or the game's folder is moved out of the protected one). Updating the copies
// instead was not chosen: they are the player's, written by a program without a manifest, and
// the real files would then differ from what the game sees.
bool game_reads_other_copies() {
  VirtualStoreCopies copies;
  const int count = FindVirtualStoreCopies(gameFolder, &copies);
  for (int i = 0; i < count; ++i) {
    UpdateLogStep("FAILED: the game reads this copy instead of its file; nothing changed",
                  copies.paths[i]);
  }
  return count > 0;
}

// The run itself, under the folder's lock.
void run_locked() {
  // What an interrupted run left is put right before the folder is looked at.
  if (RecoverInterruptedUpdate(gameFolder) != 0) {
    UpdateLogFailure("recovery of an interrupted update", gameFolder);
    updateResult = RESULT_FAILED;
    return;
  }
  updateResult = installed_version();
  if (updateResult != 0) return;
  if (game_reads_other_copies()) {
    updateResult = RESULT_FAILED;
    return;
  }

  switch (look_at_pack(selfPath, PAYLOAD_LETTER)) {
    case PackLook::Absent:
    case PackLook::NotArchive:
      UpdateLogStep("the updater's own payload is missing or damaged", selfPath);
      updateResult = RESULT_PACK_DAMAGED;
      return;
    case PackLook::Unreadable:
      UpdateLogFailure("reading the updater's own payload", selfPath);
      updateResult = RESULT_FAILED;
      return;
    case PackLook::Archive:
      break;
  }
  // Its header is sound, so a failure to open it lies in reading the rest.
  if (pak_open(selfPath, PAK_OPEN_READ) < 0) {
    UpdateLogFailure("opening the updater's own payload", selfPath);
    updateResult = RESULT_FAILED;
    return;
  }
  UpdateProgressBegin();
  updateResult = install_payload();
  UpdateProgressEnd();
  pak_close_all();
}

}  // namespace

void RunUpdate() {
  fill_self_path();
  // One update of a folder at a time, whoever runs it: a second one touches nothing.
  runFailure = RunFailure::None;
  const HostHandle lock = FolderLockTake(gameFolder);
  if (lock == HOST_INVALID_HANDLE || lock == HOST_IN_USE) {
    if (lock == HOST_IN_USE) {
      runFailure = RunFailure::FolderBusy;
      UpdateLogStep("another update of the game folder is in progress", gameFolder);
    } else {
      UpdateLogFailure("taking the game folder's update lock", gameFolder);
    }
    updateResult = RESULT_FAILED;
    return;
  }
  UpdateLogStep("update of the game folder", gameFolder);
  run_locked();
  FolderLockRelease(gameFolder, lock);
}
