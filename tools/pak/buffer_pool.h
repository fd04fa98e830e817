// Buffers handed round a pipeline and kept for the next item instead of freed: a fresh buffer
// of tens of MiB costs its page faults and its zeroing every time, a kept one neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

class BufferPool {
 public:
  // Keeps at most `kept` buffers; more given back are freed.
  explicit BufferPool(size_t kept) : kept_(kept) {}

  // A buffer with room for at least `bytes`: the smallest kept one with that room, else a new
  // one (backed by large pages where the system takes the advice). Its size and bytes are as
  // last left: the taker resizes it.
  std::vector<uint8_t> take(size_t bytes);
  // Gives a buffer back for a later take; safe from any thread.
  void give(std::vector<uint8_t>&& buffer);

 private:
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> spare_;  // by capacity, the smallest first
  size_t kept_;
};
