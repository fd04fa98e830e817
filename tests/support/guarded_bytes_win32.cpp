// GuardedBytes on Windows: the block at the end of committed pages, followed by a
// PAGE_NOACCESS page.
#include "support/guarded_bytes.h"

#include <windows.h>

GuardedBytes::GuardedBytes(size_t size) : size_(size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  const size_t usable = (size + page - 1) / page * page;
  mappingSize_ = usable + page;
  mapping_ = VirtualAlloc(nullptr, mappingSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (mapping_ == nullptr) return;
  auto* base = static_cast<uint8_t*>(mapping_);
  DWORD old = 0;
  if (!VirtualProtect(base + usable, page, PAGE_NOACCESS, &old)) return;
  data_ = base + usable - size;
}

GuardedBytes::~GuardedBytes() {
  if (mapping_ != nullptr) VirtualFree(mapping_, 0, MEM_RELEASE);
}
