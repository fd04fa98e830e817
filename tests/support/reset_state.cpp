// The reset every fixture calls, in one place, layer by layer from the top down.
#include "support/reset_state.h"

#include <cstring>

#include "app/app_state.h"
#include "app/update_log.h"
#include "archive/pak_table.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "host/host.h"
#include "support/host_override.h"
#include "vfs/file_handle.h"
#include "vfs/mount_path.h"

void reset_process_state() {
  std::strcpy(gameFolder, GAME_FOLDER_UNKNOWN);
  selfPath[0] = '\0';
  selfPathOverride = nullptr;
  updateResult = 0;
  silentRun = false;
  host_set_patience(HOST_PATIENCE_MS);
  runFailure = RunFailure::None;
  UpdateLogClose();

  SettingsFree();
  g_settings.folder[0] = '\0';
  g_settings.includeFolder[0] = '\0';

  for (auto& f : g_openFiles) f = {};
  g_openMemberCount = 0;
  vfs_set_prefix_strip(0);
  g_lastFoundArchive = -1;
  g_searchResume = {-1, -1, 0};

  host_restore_all();  // before closing, so what is written back reaches the disk
  pak_close_all();
  g_indexArchive = -1;

  if (g_hostFind != -1) g_hostOps.find_close(g_hostFind);
  g_hostFind = -1;
}
