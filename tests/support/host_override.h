// Host overrides for tests, benchmarks and fuzz targets: one entry of g_hostOps replaced by a
// function of the caller's, and every entry put back at once. Code that changes the host table
// goes through these rather than assigning g_hostOps itself.
#pragma once

#include "host/host.h"

// Serves one host call through fn until the table is restored: host_override(&HostOps::read, f).
template <typename Fn>
void host_override(Fn HostOps::*entry, Fn fn) {
  g_hostOps.*entry = fn;
}

// Every entry of g_hostOps back to the platform's own.
inline void host_restore_all() { g_hostOps = g_hostDefaultOps; }

// Restores the whole table when it goes out of scope.
class HostOverrides {
 public:
  HostOverrides() = default;
  ~HostOverrides() { host_restore_all(); }
  HostOverrides(const HostOverrides&) = delete;
  HostOverrides& operator=(const HostOverrides&) = delete;
};
