// Code page 950 <-> UTF-8 through iconv (glibc's "CP950"), strictly: no transliteration, no
// skipped bytes. The terminal's encoding is UTF-8 here, so both edges are the same. One
// conversion descriptor per direction and thread, opened on first use.
#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "tools/pak/name_codec.h"

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != invalid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool run(const std::string& in, std::string* out) {
    if (cd_ == invalid()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    // Any character of either side takes at most four bytes on the other.
    out->assign(in.size() * 4 + 4, '\0');
    char* source = const_cast<char*>(in.data());
    size_t sourceLeft = in.size();
    char* target = out->data();
    size_t targetLeft = out->size();
    // A non-zero count means characters were converted only approximately.
    const size_t converted = iconv(cd_, &source, &sourceLeft, &target, &targetLeft);
    const bool ok = converted == 0 && sourceLeft == 0 &&
                    iconv(cd_, nullptr, nullptr, &target, &targetLeft) == 0;
    out->resize(out->size() - targetLeft);
    return ok;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
  iconv_t cd_;
};

}  // namespace

bool edge_to_cp950(NameEdge, const std::string& text, std::string* out) {
  thread_local Converter converter("CP950", "UTF-8");
  return converter.run(text, out);
}

bool cp950_to_edge(NameEdge, const std::string& name, std::string* out) {
  thread_local Converter converter("UTF-8", "CP950");
  return converter.run(name, out);
}

size_t terminal_columns(const std::string& text) { return utf8_columns(text); }
