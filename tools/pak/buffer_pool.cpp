// The buffer pool: best fit from the kept buffers, new ones reserved whole and advised onto
// large pages before anything touches them.
#include "tools/pak/buffer_pool.h"

#include <algorithm>
#include <exception>

#include "tools/pak/file_ops.h"

namespace {
constexpr size_t kLargePage = size_t(2) << 20;
}

std::vector<uint8_t> BufferPool::take(size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < spare_.size(); ++i) {
      if (spare_[i].capacity() >= bytes) {
        std::vector<uint8_t> buffer = std::move(spare_[i]);
        spare_.erase(spare_.begin() + std::ptrdiff_t(i));
        return buffer;
      }
    }
  }
  std::vector<uint8_t> fresh;
  try {
    fresh.reserve(bytes);
  } catch (const std::exception&) {
    return fresh;  // the size is only a hint: the taker finds out for itself what it can have
  }
  if (bytes >= kLargePage) advise_large_pages(fresh.data(), fresh.capacity());
  return fresh;
}

void BufferPool::give(std::vector<uint8_t>&& buffer) {
  if (buffer.capacity() == 0) return;
  std::vector<uint8_t> dropped;  // freed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  const auto at = std::lower_bound(
      spare_.begin(), spare_.end(), buffer.capacity(),
      [](const std::vector<uint8_t>& kept, size_t room) { return kept.capacity() < room; });
  spare_.insert(at, std::move(buffer));
  if (spare_.size() > kept_) {
    dropped = std::move(spare_.front());
    spare_.erase(spare_.begin());
  }
}
