// The Windows progress window: a small captioned popup with a standard progress bar (common
// controls, loaded when first needed: from the side-by-side store the manifest names, never by
// a search, so the program imports no library outside the system's known ones), centred on the
// screen like the dialog, owned by the active window, and painted while the work runs by
// handling only its own pending messages.
#include <windows.h>
#include <commctrl.h>

#include "platform/big5_text_win32.h"
#include "platform/progress_pace.h"
#include "platform/win32_ui.h"

namespace {

constexpr wchar_t kClassName[] = L"VelmorProgress";
constexpr int kClientWidth = 360;
constexpr int kClientHeight = 56;
constexpr int kMargin = 16;
constexpr int kBarHeight = 22;
constexpr int kRange = 1000;

ProgressPace g_pace;
const char* g_caption = nullptr;
HWND g_window = nullptr;
HWND g_bar = nullptr;

bool register_class(HINSTANCE instance) {
  WNDCLASSW c{};
  c.lpfnWndProc = DefWindowProcW;
  c.hInstance = instance;
  c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  c.lpszClassName = kClassName;
  return RegisterClassW(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Registers the progress bar's class; false when the common controls cannot be loaded.
bool init_progress_class() {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  if (controls == nullptr) return false;
  // Through the generic function pointer type, which converts to any other without a warning.
  const auto init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(controls, "InitCommonControlsEx")));
  const INITCOMMONCONTROLSEX wanted{sizeof wanted, ICC_PROGRESS_CLASS};
  return init != nullptr && init(&wanted);
}

void create_window() {
  if (!init_progress_class()) return;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!register_class(instance)) return;

  const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
  const DWORD exStyle = WS_EX_DLGMODALFRAME;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  const WideText caption(g_caption != nullptr ? g_caption : "");
  g_window = CreateWindowExW(exStyle, kClassName, caption.ok() ? caption.get() : L"", style, x, y,
                             width, height, GetActiveWindow(), nullptr, instance, nullptr);
  if (g_window == nullptr) return;
  g_bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, kMargin,
                          (kClientHeight - kBarHeight) / 2, kClientWidth - 2 * kMargin,
                          kBarHeight, g_window, nullptr, instance, nullptr);
  SendMessageW(g_bar, PBM_SETRANGE32, 0, kRange);
  ShowWindow(g_window, SW_SHOWNORMAL);
}

// Handles the messages waiting for the progress window and its bar, nothing else: the
// dialog under it gets no input while the work runs.
void pump() {
  MSG m;
  while (PeekMessageW(&m, g_window, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  UpdateWindow(g_window);
}

}  // namespace

void UiProgressBegin(const char* captionBig5, int64_t total) {
  UiProgressEnd();
  g_caption = captionBig5;
  g_pace.begin(total);
}

void UiProgressStep(int64_t units) {
  if (!g_pace.step(units)) return;
  if (g_window == nullptr) create_window();
  if (g_window == nullptr) return;
  SendMessageW(g_bar, PBM_SETPOS, WPARAM(g_pace.permille()), 0);
  pump();
}

void UiProgressEnd() {
  if (g_window != nullptr) DestroyWindow(g_window);
  g_window = nullptr;
  g_bar = nullptr;
  g_caption = nullptr;
  g_pace.end();
}
