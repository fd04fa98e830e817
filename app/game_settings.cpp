// The game settings lookup: the game folder named by key GAMEDIR of section INI in the game's
// settings file VELMOR.INI, in the Windows folder.
#include <cstring>

#include "app/app_state.h"
#include "app/game_path.h"
#include "app/updater.h"
#include "config/settings.h"
#include "host/host.h"

namespace {

constexpr size_t SETTINGS_PATH_ROOM = 128;
constexpr char SETTINGS_FILE_NAME[] = "VELMOR.INI";

}  // namespace

void LoadGameSettings() {
  char windowsDir[SETTINGS_PATH_ROOM];
  char path[SETTINGS_PATH_ROOM];
  // A Windows folder whose settings path does not fit is treated as one without the file.
  if (host_windows_dir(windowsDir, sizeof windowsDir) == 0 ||
      BuildGamePath(path, sizeof path, windowsDir, SETTINGS_FILE_NAME) != 0) {
    return;
  }
  if (SettingsLoad(path) != 0) {
    const int32_t section = SettingsFindSection("INI", 1);
    // A value too long for gameFolder is not copied: the folder is then asked for.
    if (section != 0) SettingsGetKey("GAMEDIR", 1, section, gameFolder, sizeof gameFolder);
  }
  SettingsFree();
}
