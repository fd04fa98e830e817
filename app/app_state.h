// Program-wide state of the updater: the game folder, the updater's own path, the result word
// with its bits, and the main window; plus the names of the files it works on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_ui.h"

// Result bits of updateResult; one run sets at most one.
constexpr uint32_t RESULT_UPDATED = 0x1;
constexpr uint32_t RESULT_ALREADY_UPDATED = 0x2;
constexpr uint32_t RESULT_NEWER_INSTALLED = 0x4;
constexpr uint32_t RESULT_GAME_FILES_BAD = 0x8;
constexpr uint32_t RESULT_PACK_DAMAGED = 0x10;
constexpr uint32_t RESULT_FAILED = 0x40000000;

constexpr size_t GAME_FOLDER_ROOM = 260;
constexpr size_t SELF_PATH_ROOM = 260;
// Paths into the game folder are built in buffers of this size.
constexpr size_t WORK_PATH_ROOM = 512;

// The game folder before one is known: as a folder name it never exists.
constexpr char GAME_FOLDER_UNKNOWN[] = "_A_A_A_";

// Files of the game folder, and where the update's own copies and the markers are found.
constexpr char GAME_EXE_NAME[] = "Velmor.EXE";
constexpr char GAME_PACK_NAME[] = "Update.PAK";
constexpr char INSTALL_RECORD_NAME[] = "INSTALL.DAT";
constexpr char MARKER_NEWER[] = "@:\\Update02.txt";
constexpr char MARKER_THIS[] = "@:\\Update01.txt";
constexpr char PAYLOAD_EXE[] = "#:\\Velmor.EXE";
constexpr char PAYLOAD_PACK[] = "#:\\Update.PAK";
constexpr char GAME_PACK_LETTER = '@';
constexpr char PAYLOAD_LETTER = '#';

// The window class whose window marks a running updater.
constexpr char MAIN_WINDOW_CLASS[] = "AUTORUN";
// The name a running updater claims before it looks for that window.
constexpr char INSTANCE_CLAIM_NAME[] = "VelmorUpdate.AUTORUN";

// Why a run that did not update ended, where the result bits do not tell it apart: for the exit
// code of an unattended run and for the log.
enum class RunFailure { None, NoGameFolder, GameInUse, FolderBusy };

// Set by an unattended run ("/S"): no window, no message, the outcome in the exit code.
extern bool silentRun;
extern RunFailure runFailure;

extern char gameFolder[GAME_FOLDER_ROOM];
extern char selfPath[SELF_PATH_ROOM];
extern uint32_t updateResult;
extern HWND mainWindow;

// When set, RunUpdate takes the updater's own path from here instead of asking the system
// (tests run updaters they built).
extern const char* selfPathOverride;
