// The Win32 user-interface calls the updater makes. On Windows this is <windows.h> and
// <shlobj.h>; elsewhere it declares the same few types, constants and calls for a console
// stand-in. Texts the user sees go through the Ui* functions, which take Big5 (code page 950).
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32

#include <windows.h>
#include <shlobj.h>

#else  // the console stand-in

#define WINAPI
#define CALLBACK

struct UiWindow;
struct UiInstanceTag;
struct UiIconTag;
struct UiCursorTag;
struct UiBrushTag;
struct UiMenuTag;

using HWND = UiWindow*;
using HINSTANCE = UiInstanceTag*;
using HICON = UiIconTag*;
using HCURSOR = UiCursorTag*;
using HBRUSH = UiBrushTag*;
using HMENU = UiMenuTag*;
using HGDIOBJ = void*;
using BOOL = int;
using UINT = unsigned int;
using DWORD = uint32_t;
using LONG = int32_t;
using ATOM = uint16_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using INT_PTR = intptr_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_TASKMODAL = 0x00002000;

constexpr DWORD WS_POPUP = 0x80000000;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWDEFAULT = 10;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOACTIVATE = 0x0010;

constexpr int BLACK_BRUSH = 4;

// A resource named by number, as the Win32 headers make it.
inline LPSTR MAKEINTRESOURCEA(int id) {
  return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<uint16_t>(id)));
}
inline const LPCSTR IDC_ARROW = MAKEINTRESOURCEA(32512);

HWND FindWindowA(LPCSTR className, LPCSTR windowName);
ATOM RegisterClassA(const WNDCLASSA* windowClass);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL ShowWindow(HWND window, int command);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL GetWindowRect(HWND window, LPRECT rect);
int GetSystemMetrics(int index);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);

#endif  // _WIN32

// ---- Texts shown to the user (Big5 in, shown correctly whatever the system's code page) ----

// Runs the modal dialog of resource templateId (DialogBoxParam). On Windows the dialog is
// made a wide-character window, so that its template texts and the texts set later keep every
// character; the procedure's own messages carry no text, so it serves either way.
INT_PTR UiDialogBox(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                    LPARAM initParam);

// Claims the name for this process for as long as it runs, before the single-instance window
// test, so that two copies started together cannot both pass that test: false when another
// process holds it (a named mutex on Windows; on POSIX the window's own lock file is taken
// atomically, so this always succeeds).
bool UiClaimInstance(const char* name);
// The top-level window of a class with a title, or null: the single-instance test.
HWND UiFindWindow(const char* className, const char* titleBig5);
// CreateWindowExA with a Big5 title that reads the same on every system; FindWindow with the
// same title (UiFindWindow) finds the window.
HWND UiCreateWindowEx(DWORD exStyle, const char* className, const char* titleBig5, DWORD style,
                      int x, int y, int width, int height, HWND parent, HMENU menu,
                      HINSTANCE instance, LPVOID param);

// A message box; returns the button pressed (IDOK for MB_OK).
int UiMessageBox(HWND owner, const char* textBig5, const char* captionBig5, UINT style);
// A window's title.
BOOL UiSetWindowText(HWND window, const char* textBig5);
// The text of a dialog's control.
BOOL UiSetDlgItemText(HWND dialog, int id, const char* textBig5);
// The shell's folder browser, admitting file-system folders only, owned by owner, with the
// prompt (Big5) above the tree and an edit box where a path may be typed. Returns non-zero when a folder was chosen and its path,
// terminator included, fits in room bytes; it is then in path. Otherwise returns 0 and leaves
// path as it was (browser cancelled, an item without a file-system path, a path that does not
// fit).
int BrowseForFolder(HWND owner, char* path, size_t room, const char* prompt);

// ---- Progress of long work ----

// Shows how far work of total units has come, under a Big5 caption: on Windows a small window
// with a progress bar, centred on the screen and owned by the active window; on the console a
// line redrawn in place when the output is a terminal. Nothing shows until the work has taken
// about a second; UiProgressEnd takes it away. Steps outside Begin and End are ignored.
void UiProgressBegin(const char* captionBig5, int64_t total);
// Adds units done since the last step.
void UiProgressStep(int64_t units);
void UiProgressEnd();
