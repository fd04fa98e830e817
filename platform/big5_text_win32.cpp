// Big5 texts converted to UTF-16 with code page 950 (the ANSI code page only where 950 is not
// installed), and UTF-16 paths converted exactly, or not at all, to the ANSI code page.
#include "platform/big5_text_win32.h"

#include <cstring>

namespace {

constexpr UINT CODE_PAGE_BIG5 = 950;

bool to_wide(UINT codePage, const char* text, wchar_t* out, size_t room) {
  const int n = MultiByteToWideChar(codePage, 0, text, -1, out, static_cast<int>(room));
  return n > 0;
}

}  // namespace

WideText::WideText(const char* textBig5) : text_{}, ok_(false) {
  if (textBig5 == nullptr) textBig5 = "";
  ok_ = to_wide(CODE_PAGE_BIG5, textBig5, text_, ROOM) || to_wide(CP_ACP, textBig5, text_, ROOM);
  if (!ok_) text_[0] = L'\0';
}

bool WideToAnsiPath(const wchar_t* path, char* out, size_t room) {
  if (path == nullptr || out == nullptr || room == 0) return false;
  // Room for any path the wide calls give (MAX_PATH characters, two bytes each at most).
  char converted[2 * MAX_PATH + 1];
  BOOL lossy = FALSE;
  int n;
  if (GetACP() == CP_UTF8) {
    // UTF-8 holds every character; only broken UTF-16 fails, and that flag says so.
    n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, converted,
                            sizeof converted, nullptr, nullptr);
  } else {
    n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, converted, sizeof converted,
                            nullptr, &lossy);
  }
  if (n <= 0 || lossy || static_cast<size_t>(n) > room) return false;
  memcpy(out, converted, static_cast<size_t>(n));
  return true;
}
