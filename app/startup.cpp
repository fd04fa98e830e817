// Start-up and the result report: one updater at a time, the hidden main window, the game
// settings, putting right an interrupted update, the confirmation dialog, and one message for
// the outcome.
#include <cstdint>
#include <cstring>

#include "app/app_state.h"
#include "app/exit_code.h"
#include "app/interrupted_run.h"
#include "app/texts.h"
#include "app/update_log.h"
#include "app/update_options.h"
#include "app/updater.h"
#include "host/path.h"

namespace {

struct ResultMessage {
  uint32_t bit;
  const char* text;
};

// Tested in this order; the first bit set gives the message.
constexpr ResultMessage RESULT_MESSAGES[] = {
    {RESULT_UPDATED, TEXT_UPDATED},
    {RESULT_ALREADY_UPDATED, TEXT_ALREADY_UPDATED},
    {RESULT_NEWER_INSTALLED, TEXT_NEWER_INSTALLED},
    {RESULT_GAME_FILES_BAD, TEXT_GAME_FILES_BAD},
    {RESULT_PACK_DAMAGED, TEXT_PACK_DAMAGED},
    {RESULT_FAILED, TEXT_FAILED},
};

void report(uint32_t result) {
  for (const ResultMessage& m : RESULT_MESSAGES) {
    if ((result & m.bit) != 0) {
      UiMessageBox(nullptr, m.text, TEXT_TITLE, MB_OK | MB_TASKMODAL);
      return;
    }
  }
}

bool create_main_window(HINSTANCE instance, int showCommand) {
  WNDCLASSA wc{};
  wc.style = 0;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_UPDATER));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = MAIN_WINDOW_CLASS;
  if (RegisterClassA(&wc) == 0) return false;

  mainWindow = UiCreateWindowEx(0, MAIN_WINDOW_CLASS, TEXT_TITLE, WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, instance, nullptr);
  if (mainWindow == nullptr) return false;
  ShowWindow(mainWindow, showCommand);
  return true;
}

// The game folder from the options, else from the settings file.
void find_game_folder(const UpdateOptions& options) {
  if (options.hasFolder) {
    std::memcpy(gameFolder, options.folder, sizeof gameFolder);
    UpdateLogStep("game folder given on the command line", gameFolder);
    return;
  }
  LoadGameSettings();
  UpdateLogStep("game folder named by VELMOR.INI", gameFolder);
}

// An unattended run: no window, no message; the outcome is the exit code (and the log).
int run_silent(const UpdateOptions& options) {
  silentRun = true;
  runFailure = RunFailure::None;
  updateResult = 0;
  if (!UiClaimInstance(INSTANCE_CLAIM_NAME) || UiFindWindow(MAIN_WINDOW_CLASS, TEXT_TITLE) != nullptr) {
    UpdateLogStep("another copy of the updater is running", nullptr);
    updateResult = RESULT_FAILED;
    runFailure = RunFailure::FolderBusy;
  } else {
    find_game_folder(options);
    RecoverAtStartUp(gameFolder);
    if (GameExeExists(gameFolder) == 0) {
      UpdateLogStep("FAILED: the game executable is not in the game folder", gameFolder);
      updateResult = RESULT_FAILED;
      runFailure = RunFailure::NoGameFolder;
    } else {
      RunUpdate();
    }
  }
  const int code = ExitCodeOf(updateResult, runFailure);
  UpdateLogEnd(updateResult, code);
  return code;
}

}  // namespace

int UpdaterMain(HINSTANCE instance, HINSTANCE previousInstance, int showCommand) {
  return UpdaterRun(instance, previousInstance, showCommand, UpdateOptions{});
}

int UpdaterRun(HINSTANCE instance, HINSTANCE previousInstance, int showCommand,
               const UpdateOptions& options) {
  if (options.log && UpdateLogOpen(options.logPath) == 0) {
    char self[SELF_PATH_ROOM];
    get_arg_or_module_path(nullptr, 0, self, sizeof self);
    UpdateLogStep("start-up of the updater", self);
  }
  if (options.silent) {
    const int code = run_silent(options);
    UpdateLogClose();
    return code;
  }
  // A copy that cannot claim the name is a second copy, as one whose window is found.
  if (!UiClaimInstance(INSTANCE_CLAIM_NAME)) return 0;
  if (UiFindWindow(MAIN_WINDOW_CLASS, TEXT_TITLE) != nullptr) return 0;
  if (previousInstance != nullptr) {
    UiMessageBox(nullptr, TEXT_CANNOT_EXECUTE_AGAIN, TEXT_TITLE, MB_OK | MB_TASKMODAL);
    return 0;
  }
  if (!create_main_window(instance, showCommand)) return 0;
  find_game_folder(options);
  // An interrupted update of the folder the settings name is finished or undone before the
  // dialog asks anything, so that Cancel leaves that folder wholly old or wholly new;
  // RunUpdate does the same for a folder chosen later.
  RecoverAtStartUp(gameFolder);
  updateResult = 0;
  UiDialogBox(instance, DIALOG_CONFIRM, mainWindow, ConfirmDialogProc, 0);
  report(updateResult);
  UpdateLogEnd(updateResult, 0);
  UpdateLogClose();
  return 0;
}

bool UpdaterBadArguments(int count, const char* const* arguments, const char* error) {
  // Read one by one, so that the rest of a refused line still says whether to stay silent.
  bool silent = false;
  UpdateOptions wanted{};
  for (int i = 0; i < count; ++i) {
    UpdateOptions one;
    char ignored[OPTION_ERROR_ROOM];
    if (UpdateOptionsParse(1, &arguments[i], &one, ignored) != 0) continue;
    silent = silent || one.silent;
    if (one.log) {
      wanted.log = true;
      std::memcpy(wanted.logPath, one.logPath, sizeof wanted.logPath);
    }
  }
  if (silent && wanted.log && UpdateLogOpen(wanted.logPath) == 0) {
    UpdateLogStep("FAILED: bad arguments", error);
    UpdateLogEnd(0, EXIT_BAD_ARGUMENTS);
    UpdateLogClose();
  }
  return silent;
}
