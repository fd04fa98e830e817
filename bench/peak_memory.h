// The process's peak resident memory around a piece of work: the kernel's high-water mark
// (VmHWM) reset before the work and read after it, beside the resident size it started from.
#pragma once

#include <cstdio>
#include <cstring>

namespace peak_memory {

// A field of /proc/self/status in KiB, or -1.
inline long status_kib(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, field, n) == 0) {
      std::sscanf(line + n, "%ld", &kib);
      break;
    }
  }
  std::fclose(f);
  return kib;
}

// Resets the high-water mark to the present resident size; false where the kernel cannot.
inline bool reset() {
  FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

// Runs work and returns how far the peak resident size rose above the resident size before
// it, in MiB (negative when the mark cannot be reset).
template <typename Work>
double rise_mib(Work work, bool* ok) {
  const bool resettable = reset();
  const long before = status_kib("VmRSS:");
  *ok = work();
  const long peak = status_kib("VmHWM:");
  if (!resettable || before < 0 || peak < 0) return -1;
  return double(peak - before) / 1024.0;
}

}  // namespace peak_memory
