// Buffers handed round a pipeline and kept for the next item instead of freed: a fresh buffer
// of tens of MiB costs its page faults and its zeroing every time, a kept one neither; and
// thousands of small ones freed on one thread and made again on another keep the allocator
// giving memory back to the system and faulting it in again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

class BufferPool {
 public:
  // Keeps at most `kept` buffers, or more while all it keeps hold no more than kSmallKept
  // bytes (many small items in flight at once); the smallest go first.
  explicit BufferPool(size_t kept) : kept_(kept) {}

  // A buffer with room for at least `bytes`: the smallest kept one with that room, else a new
  // one (backed by large pages where the system takes the advice). Its size and bytes are as
  // last left: the taker resizes it.
  std::vector<uint8_t> take(size_t bytes);
  // Gives a buffer back for a later take; safe from any thread.
  void give(std::vector<uint8_t>&& buffer);

 private:
  static constexpr size_t kSmallKept = size_t(16) << 20;
  std::mutex mutex_;
  std::map<size_t, std::vector<std::vector<uint8_t>>> spare_;  // by capacity
  size_t count_ = 0;
  size_t bytes_ = 0;
  size_t kept_;
};
