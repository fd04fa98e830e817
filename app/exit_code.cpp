// Exit codes of unattended runs.
#include "app/exit_code.h"

int ExitCodeOf(uint32_t result, RunFailure failure) {
  if ((result & RESULT_UPDATED) != 0) return 0;
  if ((result & RESULT_ALREADY_UPDATED) != 0) return 10;
  if ((result & RESULT_NEWER_INSTALLED) != 0) return 11;
  if ((result & RESULT_PACK_DAMAGED) != 0) return 20;
  if ((result & RESULT_GAME_FILES_BAD) != 0) return 21;
  switch (failure) {
    case RunFailure::NoGameFolder: return 22;
    case RunFailure::GameInUse: return 23;
    case RunFailure::FolderBusy: return 24;
    case RunFailure::None: break;
  }
  return 30;
}
