// The confirmation dialog: asks whether to run the update, makes sure the game folder holds
// the game executable (asking for the folder as often as needed), then runs the update.
#include "app/app_state.h"
#include "app/texts.h"
#include "app/updater.h"

namespace {

// Set while OK is being handled: the browser and the message belong to the main window, so
// the dialog can still be pressed meanwhile, and a second press is ignored.
bool g_handlingOk = false;

// Moves the dialog to the middle of the primary screen, keeping its size.
void centre(HWND dialog) {
  RECT r;
  if (!GetWindowRect(dialog, &r)) return;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

// True once gameFolder holds the game executable; false when the user cancelled the browser.
bool game_folder_found() {
  while (GameExeExists(gameFolder) == 0) {
    if (BrowseForFolder(mainWindow, gameFolder, sizeof gameFolder, TEXT_CHOOSE_FOLDER) == 0) {
      return false;
    }
    if (GameExeExists(gameFolder) != 0) break;
    UiMessageBox(mainWindow, TEXT_WRONG_FOLDER, TEXT_TITLE, MB_OK);
  }
  return true;
}

}  // namespace

INT_PTR CALLBACK ConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    centre(dialog);
    UiSetWindowText(dialog, TEXT_TITLE);
    UiSetDlgItemText(dialog, ID_CONFIRM_TEXT, TEXT_CONFIRM);
    UiSetDlgItemText(dialog, IDOK, TEXT_OK);
    UiSetDlgItemText(dialog, IDCANCEL, TEXT_CANCEL);
    return 1;
  }
  if (message != WM_COMMAND) return 0;
  if (wParam == WPARAM(IDOK)) {
    if (g_handlingOk) return 0;
    g_handlingOk = true;
    const bool found = game_folder_found();
    if (found) {
      RunUpdate();
      EndDialog(dialog, 1);
    }
    g_handlingOk = false;
    return 0;
  }
  if (wParam == WPARAM(IDCANCEL)) {
    if (g_handlingOk) return 0;
    EndDialog(dialog, 1);
    return 1;
  }
  return 0;
}
