// The buffer pool: best fit from the kept buffers (grouped by capacity), new ones reserved
// whole and advised onto large pages before anything touches them.
#include "tools/pak/buffer_pool.h"

#include <exception>

#include "tools/pak/file_ops.h"

namespace {
constexpr size_t kLargePage = size_t(2) << 20;
}

std::vector<uint8_t> BufferPool::take(size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto fit = spare_.lower_bound(bytes);
    if (fit != spare_.end()) {
      std::vector<uint8_t> buffer = std::move(fit->second.back());
      fit->second.pop_back();
      if (fit->second.empty()) spare_.erase(fit);
      --count_;
      bytes_ -= buffer.capacity();
      return buffer;
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
  const size_t room = buffer.capacity();
  if (room == 0) return;
  std::vector<std::vector<uint8_t>> dropped;  // freed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto bucket = spare_.end();
  try {
    bucket = spare_.try_emplace(room).first;
    bucket->second.push_back(std::move(buffer));
  } catch (const std::exception&) {
    if (bucket != spare_.end() && bucket->second.empty()) spare_.erase(bucket);
    return;  // no room to keep it: the giver's copy is freed
  }
  ++count_;
  bytes_ += room;
  while (count_ > kept_ && bytes_ > kSmallKept) {
    const auto smallest = spare_.begin();
    std::vector<uint8_t> victim = std::move(smallest->second.back());
    smallest->second.pop_back();
    if (smallest->second.empty()) spare_.erase(smallest);
    --count_;
    bytes_ -= victim.capacity();
    try {
      dropped.push_back(std::move(victim));
    } catch (const std::exception&) {
    }  // freed here instead, under the lock
  }
}
