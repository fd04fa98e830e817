// A block of bytes that ends where an inaccessible page begins: a read or write past its end
// faults at once, on every build and platform, not only under AddressSanitizer.
#pragma once

#include <cstddef>
#include <cstdint>

class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  // Null when the pages could not be had.
  uint8_t* data() const { return data_; }
  char* chars() const { return reinterpret_cast<char*>(data_); }
  size_t size() const { return size_; }

 private:
  void* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
