// Code page 950 <-> the ANSI code page (what the program's arguments and the 8-bit file calls
// use) or UTF-8 (JSON), through UTF-16, refusing invalid bytes and characters without an exact
// form.
#include <windows.h>

#include "tools/pak/name_codec.h"

namespace {

bool convert(UINT from, UINT to, const std::string& in, std::string* out) {
  out->clear();
  if (to == CP_ACP) to = GetACP();  // the flags below depend on the real code page
  if (in.empty()) return true;
  const int length = static_cast<int>(in.size());
  const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), length, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  if (MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), length, text.data(), wide) != wide)
    return false;
  // UTF-8 as a target takes no best-fit flags; every other code page must not substitute.
  const bool utf8 = to == CP_UTF8;
  BOOL substituted = FALSE;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL* usedDefault = utf8 ? nullptr : &substituted;
  const int bytes =
      WideCharToMultiByte(to, flags, text.data(), wide, nullptr, 0, nullptr, usedDefault);
  if (bytes <= 0 || substituted) return false;
  out->assign(static_cast<size_t>(bytes), '\0');
  return WideCharToMultiByte(to, flags, text.data(), wide, out->data(), bytes, nullptr,
                             usedDefault) == bytes &&
         !substituted;
}

constexpr UINT kArchiveCodePage = 950;

UINT code_page(NameEdge edge) { return edge == NameEdge::Utf8 ? CP_UTF8 : CP_ACP; }

}  // namespace

bool edge_to_cp950(NameEdge edge, const std::string& text, std::string* out) {
  return convert(code_page(edge), kArchiveCodePage, text, out);
}

bool cp950_to_edge(NameEdge edge, const std::string& name, std::string* out) {
  return convert(kArchiveCodePage, code_page(edge), name, out);
}

// Under the UTF-8 code page (the tool's manifest asks for it) text is measured as UTF-8; in the
// older ANSI code pages a double-byte character is as wide on the console as its two bytes.
size_t terminal_columns(const std::string& text) {
  return GetACP() == CP_UTF8 ? utf8_columns(text) : text.size();
}
