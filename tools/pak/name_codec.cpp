// Name conversion at the tool's edges, checked both ways: a name converts only when converting
// it back gives the same bytes, so what is listed can be typed back to reach the same member.
#include "tools/pak/name_codec.h"

namespace {

// A name leaves the archive only when it comes back as the same bytes.
bool out_exactly(NameEdge edge, const std::string& name, std::string* text) {
  std::string back;
  return cp950_to_edge(edge, name, text) && edge_to_cp950(edge, *text, &back) && back == name;
}

}  // namespace

bool NameCodec::to_archive(const std::string& text, std::string* name) const {
  if (raw_) {
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
