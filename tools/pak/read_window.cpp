// The read window: a member up to kSmall bytes is copied out of the window, which moves to the
// member's start (and reads kWindow bytes, or up to the archive's end) when it does not hold it.
#include "tools/pak/read_window.h"

#include <algorithm>

namespace {

constexpr int32_t kSmall = 64 << 10;
constexpr int64_t kWindow = 1 << 20;

}  // namespace

bool ReadWindow::read_stored(const ArchiveReader& reader, int32_t i, Bytes* out) {
  const int32_t size = reader.entry(i).size;
  const int64_t start = reader.stored_start(i);
  if (start < 0 || size > kSmall) return reader.read_stored(i, out);
  if (start < start_ || start + size > start_ + int64_t(bytes_.size())) {
    // The member lies within the archive (stored_start says so): the window holds it whole.
    const int64_t length = std::min<int64_t>(kWindow, reader.location().end - start);
    bytes_.resize(size_t(std::max<int64_t>(length, size)));
    if (!reader.read_at(start, bytes_.data(), int32_t(bytes_.size()))) {
      bytes_.clear();
      return false;
    }
    start_ = start;
  }
  const auto from = bytes_.begin() + std::ptrdiff_t(start - start_);
  out->assign(from, from + size);
  return true;
}
