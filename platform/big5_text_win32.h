// Conversions at the edge of the Windows user interface: Big5 (code page 950) texts to UTF-16
// for the wide calls, whatever the system's ANSI code page, and UTF-16 paths back to that page.
#pragma once

#include <windows.h>

#include <cstddef>

// A Big5 text as UTF-16, held in a fixed buffer. ok() is false when the text does not convert
// or does not fit; the caller then falls back to the 8-bit call with the bytes as they are.
class WideText {
 public:
  explicit WideText(const char* textBig5);
  bool ok() const { return ok_; }
  const wchar_t* get() const { return text_; }

 private:
  static constexpr size_t ROOM = 1024;
  wchar_t text_[ROOM];
  bool ok_;
};

// A UTF-16 path in the system's ANSI code page, as the 8-bit file calls take it: true when
// every character converts exactly and the result, terminator included, fits in room bytes;
// out is then filled. Otherwise false and out is left as it was.
bool WideToAnsiPath(const wchar_t* path, char* out, size_t room);
