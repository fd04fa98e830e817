// Name conversion at the tool's edges, checked both ways: a name converts only when converting
// it back gives the same bytes, so what is listed can be typed back to reach the same member.
#include "tools/pak/name_codec.h"

bool NameCodec::to_archive(const std::string& text, std::string* name) const {
  if (raw_) {
    *name = text;
    return true;
  }
  std::string back;
  return terminal_to_cp950(text, name) && cp950_to_terminal(*name, &back) && back == text;
}

bool NameCodec::to_terminal(const std::string& name, std::string* text) const {
  if (raw_) {
    *text = name;
    return true;
  }
  std::string back;
  return cp950_to_terminal(name, text) && terminal_to_cp950(*text, &back) && back == name;
}

std::string NameCodec::shown(const std::string& name) const {
  std::string text;
  if (!raw_ && to_terminal(name, &text)) return text;
  text.clear();
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : name) {
    if (c >= 0x80 || c < 0x20) {
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 0xF];
    } else {
      text += char(c);
    }
  }
  return text;
}
