// The updater's program-wide state, defined once: game folder, own path, result word, main
// window.
#include "app/app_state.h"

#include <cstring>

char gameFolder[GAME_FOLDER_ROOM] = "";
char selfPath[SELF_PATH_ROOM] = "";
uint32_t updateResult = 0;
HWND mainWindow = nullptr;
const char* selfPathOverride = nullptr;
bool silentRun = false;
RunFailure runFailure = RunFailure::None;

namespace {

// gameFolder holds GAME_FOLDER_UNKNOWN from the start, before any code of the updater runs.
static_assert(sizeof GAME_FOLDER_UNKNOWN <= GAME_FOLDER_ROOM);
[[maybe_unused]] const bool g_gameFolderStarts =
    (std::memcpy(gameFolder, GAME_FOLDER_UNKNOWN, sizeof GAME_FOLDER_UNKNOWN), true);

}  // namespace
