// GuardedBytes on POSIX: the block at the end of readable pages, followed by a PROT_NONE page.
#include "support/guarded_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

GuardedBytes::GuardedBytes(size_t size) : size_(size) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t usable = (size + page - 1) / page * page;
  mappingSize_ = usable + page;
  void* mapping = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
  if (mapping == MAP_FAILED) return;
  mapping_ = mapping;
  auto* base = static_cast<uint8_t*>(mapping);
  if (mprotect(base + usable, page, PROT_NONE) != 0) return;
  data_ = base + usable - size;
}

GuardedBytes::~GuardedBytes() {
  if (mapping_ != nullptr) munmap(mapping_, mappingSize_);
}
