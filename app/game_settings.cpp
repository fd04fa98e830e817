// The game settings lookup: the game folder named by key GAMEDIR of section INI in the game's
// settings file VELMOR.INI, in the Windows folder, or in the player's VirtualStore copy of it,
// which is the one the game reads when an unelevated program without a manifest wrote it; and
// a drive letter that only the player's session maps, taken as the share it stands for.
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/updater.h"
#include "app/virtual_store.h"
#include "config/settings.h"
#include "host/host.h"
#include "platform/player_session.h"

namespace {

constexpr size_t SETTINGS_PATH_ROOM = 128;
constexpr char SETTINGS_FILE_NAME[] = "VELMOR.INI";

// GAMEDIR of the settings file at path into folder (GAME_FOLDER_ROOM bytes): true when the
// file, the section and the key are there and the value fits.
bool read_game_dir(const char* path, char* folder) {
  bool found = false;
  if (SettingsLoad(path) != 0) {
    const int32_t section = SettingsFindSection("INI", 1);
    // A value too long for the folder is not copied: the folder is then asked for.
    found = section != 0 &&
            SettingsGetKey("GAMEDIR", 1, section, folder, GAME_FOLDER_ROOM) != nullptr;
  }
  SettingsFree();
  return found;
}

// A folder on a drive letter that this process lacks but the player maps to a share becomes
// the same folder on the share ("Z:\Games" with Z: mapped to "\\server\games" becomes
// "\\server\games\Games"), when it fits; any other folder stays as it is.
void use_player_drive(char* folder) {
  if (folder[0] == '\0' || folder[1] != ':') return;
  char share[GAME_FOLDER_ROOM];
  const size_t shareLength = PlayerDriveShare(folder[0], share, sizeof share);
  if (shareLength == 0) return;
  const bool shareSlash = share[shareLength - 1] == '\\';
  const char* rest = folder + 2;
  if (shareSlash && *rest == '\\') ++rest;
  const bool needSlash = !shareSlash && *rest != '\\' && *rest != '\0';
  const size_t restLength = strlen(rest);
  if (shareLength + (needSlash ? 1 : 0) + restLength >= GAME_FOLDER_ROOM) return;
  char joined[GAME_FOLDER_ROOM];
  memcpy(joined, share, shareLength);
  size_t at = shareLength;
  if (needSlash) joined[at++] = '\\';
  memcpy(joined + at, rest, restLength + 1);
  memcpy(folder, joined, at + restLength + 1);
}

}  // namespace

void LoadGameSettings() {
  char windowsDir[SETTINGS_PATH_ROOM];
  char path[SETTINGS_PATH_ROOM];
  char real[GAME_FOLDER_ROOM];
  // A Windows folder whose settings path does not fit is treated as one without the file.
  const bool havePath = host_windows_dir(windowsDir, sizeof windowsDir) != 0 &&
                        BuildGamePath(path, sizeof path, windowsDir, SETTINGS_FILE_NAME) == 0;
  const bool haveReal = havePath && read_game_dir(path, real);
  char storedPath[WORK_PATH_ROOM];
  char stored[GAME_FOLDER_ROOM];
  const bool haveStored = havePath && VirtualStorePath(path, storedPath, sizeof storedPath) == 0 &&
                          read_game_dir(storedPath, stored);
  if (haveReal) use_player_drive(real);
  if (haveStored) use_player_drive(stored);

  const char* chosen = nullptr;
  if (haveReal && haveStored && strcmp(real, stored) != 0) {
    // They disagree: the one whose folder holds the game; when both or neither do, the copy
    // the game itself reads.
    chosen = GameExeExists(real) != 0 && GameExeExists(stored) == 0 ? real : stored;
  } else if (haveStored) {
    chosen = stored;
  } else if (haveReal) {
    chosen = real;
  }
  if (chosen != nullptr) memcpy(gameFolder, chosen, strlen(chosen) + 1);
}
