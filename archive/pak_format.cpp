// PAK name rules: the case-insensitive member name order and the test that a path names an
// executable carrying an appended archive. The record layouts themselves are in pak_format.h.
#include "archive/pak_format.h"

#include <cstring>

namespace {

// Only ASCII capitals fold; every other byte (Big5 lead and trail bytes included) stays.
constexpr int fold_lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

int pak_name_compare(const char* a, const char* b) {
  for (size_t i = 0; i < PAK_NAME_SIZE; ++i) {
    const int ca = fold_lower(static_cast<unsigned char>(a[i]));
    const int cb = fold_lower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
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
