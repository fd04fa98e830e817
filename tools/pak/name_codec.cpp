// Name conversion at the tool's edges, checked both ways: a name converts only when converting
// it back gives the same bytes, so what is listed can be typed back to reach the same member.
#include "tools/pak/name_codec.h"

namespace {

// ASCII is the same bytes in code page 950 and at every edge: such names need no conversion,
// which keeps listings of many entries fast.
bool ascii(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// A name leaves the archive only when it comes back as the same bytes.
bool out_exactly(NameEdge edge, const std::string& name, std::string* text) {
  if (ascii(name)) {
    *text = name;
    return true;
  }
  std::string back;
  return cp950_to_edge(edge, name, text) && edge_to_cp950(edge, *text, &back) && back == name;
}

}  // namespace

bool NameCodec::to_archive(const std::string& text, std::string* name) const {
  if (raw_ || ascii(text)) {
    *name = text;
    return true;
  }
  std::string back;
  return edge_to_cp950(NameEdge::Terminal, text, name) &&
         cp950_to_edge(NameEdge::Terminal, *name, &back) && back == text;
}

bool NameCodec::to_terminal(const std::string& name, std::string* text) const {
  if (raw_) {
    *text = name;
    return true;
  }
  return out_exactly(NameEdge::Terminal, name, text);
}

bool NameCodec::to_utf8(const std::string& name, std::string* text) const {
  if (raw_) {
    *text = name;
    return true;
  }
  return out_exactly(NameEdge::Utf8, name, text);
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

// UTF-8 decoded; East Asian wide characters take two columns, bytes that are not UTF-8 one each.
size_t utf8_columns(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF8 ? 4 : 1;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
        length = 1;  // not a whole UTF-8 sequence: this byte stands alone
    }
    uint32_t code = c;
    if (length > 1) {
      code = c & (0x3F >> (length - 1));
      for (size_t k = 1; k < length; ++k) code = code << 6 | (text[i + k] & 0x3F);
    }
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}
