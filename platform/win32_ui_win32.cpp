// The updater's texts on the Windows user interface: message boxes, window and control texts
// and the single-instance window, all through the wide calls so that the Big5 texts read right
// whatever the system's ANSI code page.
#include "platform/big5_text_win32.h"
#include "platform/win32_ui.h"

namespace {

// Sets a window's text. A window whose procedure takes 8-bit messages would receive the text
// converted to the ANSI code page and keep only what that page can hold, so its text is given
// to the default procedure directly, which keeps it whole; the window is then repainted.
BOOL set_text(HWND window, const wchar_t* text) {
  if (window == nullptr) return FALSE;
  if (IsWindowUnicode(window)) return SetWindowTextW(window, text);
  if (DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) == 0) return FALSE;
  InvalidateRect(window, nullptr, TRUE);
  return TRUE;
}

}  // namespace

INT_PTR UiDialogBox(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                    LPARAM initParam) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, procedure, initParam);
}

int UiMessageBox(HWND owner, const char* textBig5, const char* captionBig5, UINT style) {
  const WideText text(textBig5);
  const WideText caption(captionBig5);
  if (!text.ok() || !caption.ok()) return MessageBoxA(owner, textBig5, captionBig5, style);
  return MessageBoxW(owner, text.get(), caption.get(), style);
}

BOOL UiSetWindowText(HWND window, const char* textBig5) {
  const WideText text(textBig5);
  if (!text.ok()) return SetWindowTextA(window, textBig5);
  return set_text(window, text.get());
}

BOOL UiSetDlgItemText(HWND dialog, int id, const char* textBig5) {
  return UiSetWindowText(GetDlgItem(dialog, id), textBig5);
}

HWND UiFindWindow(const char* className, const char* titleBig5) {
  const WideText name(className);
  const WideText title(titleBig5);
  if (!name.ok() || !title.ok()) return FindWindowA(className, titleBig5);
  return FindWindowW(name.get(), title.get());
}

HWND UiCreateWindowEx(DWORD exStyle, const char* className, const char* titleBig5, DWORD style,
                      int x, int y, int width, int height, HWND parent, HMENU menu,
                      HINSTANCE instance, LPVOID param) {
  const WideText title(titleBig5);
  if (!title.ok()) {
    return CreateWindowExA(exStyle, className, titleBig5, style, x, y, width, height, parent,
                           menu, instance, param);
  }
  // Created untitled, then titled in full: creating it with the title would pass the title
  // through the class's 8-bit procedure.
  HWND window = CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, menu,
                                instance, param);
  if (window != nullptr && !set_text(window, title.get())) {
    DestroyWindow(window);
    return nullptr;
  }
  return window;
}
