// The updater's program-wide state, defined once: game folder, own path, result word, main
// window.
#include "app/app_state.h"

char gameFolder[GAME_FOLDER_ROOM] = "_A_A_A_";
char selfPath[SELF_PATH_ROOM] = "";
uint32_t updateResult = 0;
HWND mainWindow = nullptr;
const char* selfPathOverride = nullptr;
