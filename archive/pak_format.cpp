// PAK name rules: the case-insensitive member name order and the test that a path names an
// executable carrying an appended archive. The record layouts themselves are in pak_format.h.
#include "archive/pak_format.h"

#include <cstring>

#include "host/path.h"

namespace {

// Only ASCII capitals fold.
constexpr int fold_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

int pak_name_compare(const char* a, const char* b) {
  return path_compare_folded(a, b, PAK_NAME_SIZE, path_names_code_page());
}

bool pak_path_is_executable(const char* path) {
  if (path == nullptr) return false;
  const size_t length = std::strlen(path);
  if (length <= 4) return false;
  const char* tail = path + length - 4;
  static constexpr char kSuffix[] = ".exe";
  for (size_t i = 0; i < 4; ++i) {
    if (fold_lower(static_cast<unsigned char>(tail[i])) != kSuffix[i]) return false;
  }
  return true;
}
