// The console stand-in for the Win32 user-interface calls: windows and classes kept in small
// tables, top-level windows found across processes through lock files, a modal dialog driven
// from the terminal, message boxes and the folder browser shown as text (the folder typed there
// converted to the code page of the library's paths).
#include <cstring>
#include <string>

#include "host/code_page.h"
#include "host/host.h"
#include "platform/console_posix.h"
#include "platform/win32_ui.h"

struct UiWindow {
  static constexpr size_t TEXT_ROOM = 512;
  static constexpr int MAX_ITEMS = 8;
  struct Item {
    int id;
    char text[TEXT_ROOM];
  };

  bool used;
  bool dialog;
  char className[TEXT_ROOM];
  char title[TEXT_ROOM];  // Big5
  WNDPROC windowProc;
  DLGPROC dialogProc;
  RECT rect;
  int lockFd;
  bool ended;
  INT_PTR result;
  int itemCount;
  Item items[MAX_ITEMS];
};

namespace {

constexpr int MAX_WINDOWS = 16;
constexpr int MAX_CLASSES = 8;
constexpr size_t CLASS_ROOM = 256;
constexpr ATOM FIRST_ATOM = 0xC000;

// The primary screen of the stand-in, and the size a dialog of about 187 by 85 dialog units
// takes with its frame and caption.
constexpr int SCREEN_WIDTH = 1024;
constexpr int SCREEN_HEIGHT = 768;
constexpr LONG DIALOG_WIDTH = 380;
constexpr LONG DIALOG_HEIGHT = 195;

UiWindow g_windows[MAX_WINDOWS];
UiWindow g_foreignWindow;  // what a lookup returns for a window of another process
char g_classes[MAX_CLASSES][CLASS_ROOM];
int g_classCount = 0;
char g_cursorToken, g_iconToken, g_brushToken;

bool copy_bounded(char* out, size_t room, const char* text) {
  if (text == nullptr) text = "";
  const size_t length = strnlen(text, room);
  if (length >= room) return false;
  memcpy(out, text, length + 1);
  return true;
}

bool class_registered(const char* name) {
  for (int i = 0; i < g_classCount; ++i) {
    if (strcmp(g_classes[i], name) == 0) return true;
  }
  return false;
}

UiWindow* new_window() {
  for (UiWindow& w : g_windows) {
    if (!w.used) {
      w = UiWindow{};
      w.used = true;
      w.lockFd = -1;
      return &w;
    }
  }
  return nullptr;
}

void free_window(UiWindow* w) {
  console::instance_lock_release(w->lockFd);
  *w = UiWindow{};
}

bool is_live(HWND w) {
  return w != nullptr && w != &g_foreignWindow && w >= g_windows && w < g_windows + MAX_WINDOWS &&
         w->used;
}

const char* item_text(const UiWindow& w, int id) {
  for (int i = 0; i < w.itemCount; ++i) {
    if (w.items[i].id == id) return w.items[i].text;
  }
  return nullptr;
}

std::string lower_trimmed(const std::string& text) {
  size_t from = 0, to = text.size();
  while (from < to && (text[from] == ' ' || text[from] == '\t')) ++from;
  while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
  std::string out = text.substr(from, to - from);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The button an answer presses: IDOK, IDCANCEL, or 0 when it names neither. Enter alone
// presses the default button, OK.
int answer_button(const UiWindow& dialog, const std::string& answer) {
  const std::string a = lower_trimmed(answer);
  for (const char* ok : {"", "ok", "o", "y", "yes", "1"}) {
    if (a == ok) return IDOK;
  }
  for (const char* cancel : {"c", "cancel", "n", "no", "2", "q", "esc"}) {
    if (a == cancel) return IDCANCEL;
  }
  for (int id : {IDOK, IDCANCEL}) {
    const char* label = item_text(dialog, id);
    if (label != nullptr && a == console::from_big5(label)) return id;
  }
  return 0;
}

void show_dialog(const UiWindow& dialog) {
  console::show_plain("\n== ");
  console::show(dialog.title);
  console::show_plain(" ==\n");
  for (int i = 0; i < dialog.itemCount; ++i) {
    const UiWindow::Item& item = dialog.items[i];
    if (item.id == IDOK || item.id == IDCANCEL) continue;
    console::show(item.text);
    console::show_plain("\n");
  }
  const char* ok = item_text(dialog, IDOK);
  const char* cancel = item_text(dialog, IDCANCEL);
  console::show_plain("[");
  console::show(ok != nullptr ? ok : "OK");
  console::show_plain("] Enter   [");
  console::show(cancel != nullptr ? cancel : "Cancel");
  console::show_plain("] c\n> ");
}

}  // namespace

void UiConsoleReset() {
  for (UiWindow& w : g_windows) {
    if (w.used) free_window(&w);
  }
  g_classCount = 0;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  if (className == nullptr || windowName == nullptr) return nullptr;
  for (UiWindow& w : g_windows) {
    if (w.used && !w.dialog && strcmp(w.className, className) == 0 &&
        strcmp(w.title, windowName) == 0) {
      return &w;
    }
  }
  return console::instance_lock_held(className, windowName) ? &g_foreignWindow : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpfnWndProc == nullptr || g_classCount >= MAX_CLASSES ||
      class_registered(windowClass->lpszClassName) ||
      !copy_bounded(g_classes[g_classCount], CLASS_ROOM, windowClass->lpszClassName)) {
    return 0;
  }
  return static_cast<ATOM>(FIRST_ATOM + g_classCount++);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return reinterpret_cast<HCURSOR>(&g_cursorToken); }
HICON LoadIconA(HINSTANCE, LPCSTR) { return reinterpret_cast<HICON>(&g_iconToken); }
HGDIOBJ GetStockObject(int) { return &g_brushToken; }

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD, int x, int y, int width,
                     int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
  if (className == nullptr || !class_registered(className)) return nullptr;
  UiWindow* w = new_window();
  if (w == nullptr) return nullptr;
  if (!copy_bounded(w->className, sizeof w->className, className) ||
      !copy_bounded(w->title, sizeof w->title, windowName)) {
    free_window(w);
    return nullptr;
  }
  w->rect = RECT{x, y, x + width, y + height};
  // A top-level window is visible to lookups from every process for as long as it lives.
  if (parent == nullptr) {
    w->lockFd = console::instance_lock_acquire(w->className, w->title);
    if (w->lockFd < 0) {
      free_window(w);
      return nullptr;
    }
  }
  return w;
}

BOOL ShowWindow(HWND window, int) { return is_live(window) ? 1 : 0; }

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

void PostQuitMessage(int) {}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC procedure, LPARAM initParam) {
  if (procedure == nullptr) return -1;
  UiWindow* dialog = new_window();
  if (dialog == nullptr) return -1;
  dialog->dialog = true;
  dialog->dialogProc = procedure;
  dialog->rect = RECT{0, 0, DIALOG_WIDTH, DIALOG_HEIGHT};

  procedure(dialog, WM_INITDIALOG, 0, initParam);
  bool inputEnded = false;
  while (!dialog->ended && !inputEnded) {
    show_dialog(*dialog);
    std::string answer;
    int button = IDCANCEL;  // the end of input closes the dialog, as its close box does
    if (console::read_line(answer)) {
      button = answer_button(*dialog, answer);
      if (button == 0) {
        console::show_plain("(Enter or \"ok\" for OK, \"c\" for Cancel)\n");
        continue;
      }
    } else {
      inputEnded = true;
      console::show_plain("\n");
    }
    procedure(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
  }
  const INT_PTR result = dialog->ended ? dialog->result : 0;
  free_window(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (!is_live(dialog) || !dialog->dialog) return 0;
  dialog->ended = true;
  dialog->result = result;
  return 1;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  if (!is_live(window) || rect == nullptr) return 0;
  *rect = window->rect;
  return 1;
}

int GetSystemMetrics(int index) {
  if (index == SM_CXSCREEN) return SCREEN_WIDTH;
  if (index == SM_CYSCREEN) return SCREEN_HEIGHT;
  return 0;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int width, int height, UINT flags) {
  if (!is_live(window)) return 0;
  RECT& r = window->rect;
  if ((flags & SWP_NOSIZE) == 0) {
    r.right = r.left + width;
    r.bottom = r.top + height;
  }
  const LONG w = r.right - r.left, h = r.bottom - r.top;
  r = RECT{x, y, x + w, y + h};
  return 1;
}

// ---- Texts ----

// The stand-in keeps texts as the Big5 bytes they are given, so these calls pass them on.
INT_PTR UiDialogBox(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                    LPARAM initParam) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, procedure, initParam);
}

HWND UiFindWindow(const char* className, const char* titleBig5) {
  return FindWindowA(className, titleBig5);
}

HWND UiCreateWindowEx(DWORD exStyle, const char* className, const char* titleBig5, DWORD style,
                      int x, int y, int width, int height, HWND parent, HMENU menu,
                      HINSTANCE instance, LPVOID param) {
  return CreateWindowExA(exStyle, className, titleBig5, style, x, y, width, height, parent, menu,
                         instance, param);
}

int UiMessageBox(HWND, const char* textBig5, const char* captionBig5, UINT) {
  console::show_plain("\n*** ");
  console::show(captionBig5 != nullptr ? captionBig5 : "");
  console::show_plain(" ***\n");
  console::show(textBig5 != nullptr ? textBig5 : "");
  console::show_plain("\n");
  return IDOK;  // a single OK button: nothing to choose, nothing to wait for
}

BOOL UiSetWindowText(HWND window, const char* textBig5) {
  if (!is_live(window)) return 0;
  return copy_bounded(window->title, sizeof window->title, textBig5) ? 1 : 0;
}

BOOL UiSetDlgItemText(HWND dialog, int id, const char* textBig5) {
  if (!is_live(dialog) || !dialog->dialog) return 0;
  UiWindow::Item* item = nullptr;
  for (int i = 0; i < dialog->itemCount; ++i) {
    if (dialog->items[i].id == id) item = &dialog->items[i];
  }
  if (item == nullptr) {
    if (dialog->itemCount >= UiWindow::MAX_ITEMS) return 0;
    item = &dialog->items[dialog->itemCount];
    item->id = id;
    item->text[0] = '\0';
    ++dialog->itemCount;
  }
  return copy_bounded(item->text, sizeof item->text, textBig5) ? 1 : 0;
}

// The browser stays open on a path it cannot hand back (as the Windows one keeps its OK button
// off for a folder the code page cannot spell) until one can be, or the user cancels.
int BrowseForFolder(HWND, char* path, size_t room, const char* promptBig5) {
  if (path == nullptr) return 0;
  console::show_plain("\n");
  console::show(promptBig5 != nullptr ? promptBig5 : "");
  console::show_plain("\n(folder path; an empty line cancels)\n");
  for (;;) {
    console::show_plain("> ");
    std::string answer;
    if (!console::read_line(answer) || answer.empty()) return 0;
    // Typed in the terminal's encoding; the library's paths are in the code page.
    char converted[HOST_PATH_ROOM];
    const size_t length =
        answer.find('\0') != std::string::npos
            ? 0
            : host_text_to_code_page(answer.c_str(), console::input_encoding().c_str(), converted,
                                     sizeof converted);
    if (length > 0 && length < room) {
      memcpy(path, converted, length + 1);
      return 1;
    }
    const std::string why = "(that path cannot be used: too long, or not written in code page " +
                            std::to_string(host_code_page()) + ")\n";
    console::show_plain(why.c_str());
  }
}
