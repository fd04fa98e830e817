// Host wrappers: every file, search and heap call of the library passes through g_hostOps here,
// plus the composed calls (force delete, recreate), the waits on a held file and the one
// process-wide disk search. Platform-independent; the backends (host_posix.cpp, host_win32.cpp)
// define g_hostDefaultOps.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

HostOps g_hostOps = g_hostDefaultOps;

intptr_t g_hostFind = -1;
uint32_t g_hostFindMask = 0;

namespace {

// The find record of the current disk search.
HostFindData g_hostFindData;

// An entry of g_hostOps, or the default one while the table is still empty (a call made during
// another file's static initialisation, before g_hostOps has been copied) or was cleared.
template <typename Fn>
Fn pick(Fn HostOps::*member) {
  Fn fn = g_hostOps.*member;
  return fn != nullptr ? fn : g_hostDefaultOps.*member;
}

int g_lastError = 0;

// Keeps the system's error of a call that just failed, for the application to report.
template <typename T>
T noted(T result, bool failed) {
  if (failed) {
    const int error = host_system_error();
    if (error != 0) g_lastError = error;
  }
  return result;
}

// Copies the found name into the caller's HOST_PATH_ROOM-byte buffer, always terminated.
void copy_found_name(char* name) {
  if (name == nullptr) return;
  size_t length = strnlen(g_hostFindData.name, HOST_PATH_ROOM - 1);
  memcpy(name, g_hostFindData.name, length);
  name[length] = '\0';
}

void end_host_search() {
  if (g_hostFind != -1) pick(&HostOps::find_close)(g_hostFind);
  g_hostFind = -1;
}

// The patience asked for, before the divisor.
uint32_t g_patience = HOST_PATIENCE_MS;

// VELMOR_PATIENCE_DIVISOR, read once: 1 unless it holds a whole number from 1 to 1000000.
uint32_t patience_divisor() {
  static const uint32_t divisor = [] {
    const char* text = std::getenv("VELMOR_PATIENCE_DIVISOR");
    if (text == nullptr || *text < '0' || *text > '9') return uint32_t{1};
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return *end == '\0' && value >= 1 && value <= 1000000 ? uint32_t(value) : uint32_t{1};
  }();
  return divisor;
}

// The waits between tries double from the first to the longest: a hold of a few milliseconds
// costs little, and a long one is looked at twice a second.
constexpr uint32_t kFirstPause = 10;
constexpr uint32_t kLongestPause = 500;

// Calls attempt until it returns anything but HOST_IN_USE or the patience in force has passed
// since the first try; returns the last result.
template <typename Attempt>
int patiently(Attempt attempt) {
  int result = attempt();
  if (result != HOST_IN_USE) return result;
  const uint32_t patience = host_patience();
  const uint32_t start = pick(&HostOps::ticks)();
  uint32_t pause = kFirstPause;
  for (;;) {
    const uint32_t waited = pick(&HostOps::ticks)() - start;
    if (waited >= patience) return result;
    pick(&HostOps::pause)(std::min(pause, patience - waited));
    pause = std::min(pause * 2, kLongestPause);
    result = attempt();
    if (result != HOST_IN_USE) return result;
  }
}

// A call whose contract is 0 or -1: a hold that outlasted the patience is a failure.
int zero_or_failure(int result) { return result == 0 ? 0 : -1; }

}  // namespace

int host_last_error() { return g_lastError; }

HostHandle host_open(const char* path, int mode) {
  if (path == nullptr) return HOST_INVALID_HANDLE;
  const HostHandle h = pick(&HostOps::open)(path, mode);
  return noted(h, h == HOST_INVALID_HANDLE);
}

HostHandle host_create(const char* path, uint32_t attributes) {
  if (path == nullptr) return HOST_INVALID_HANDLE;
  const HostHandle h = pick(&HostOps::create)(path, attributes);
  return noted(h, h == HOST_INVALID_HANDLE);
}

int32_t host_read(HostHandle handle, void* buffer, int32_t count) {
  if (buffer == nullptr || count <= 0) return 0;
  return pick(&HostOps::read)(handle, buffer, count);
}

int32_t host_write(HostHandle handle, const void* buffer, int32_t count) {
  if (buffer == nullptr || count <= 0) return 0;
  const int32_t n = pick(&HostOps::write)(handle, buffer, count);
  return noted(n, n != count);
}

int host_close(HostHandle handle) {
  // An unopened handle variable may be closed safely: no host call.
  if (handle == HOST_INVALID_HANDLE) return -1;
  return pick(&HostOps::close)(handle);
}

int host_delete(const char* path) {
  if (path == nullptr) return -1;
  const int r = patiently([path] { return pick(&HostOps::remove)(path); });
  return noted(zero_or_failure(r), r != 0);
}

int32_t host_seek(HostHandle handle, int32_t offset, int method) {
  return pick(&HostOps::seek)(handle, offset, method);
}

int32_t host_size(HostHandle handle) { return pick(&HostOps::size)(handle); }

int host_flush(HostHandle handle) {
  const int r = pick(&HostOps::flush)(handle);
  return noted(r, r != 0);
}

int host_move(const char* oldPath, const char* newPath) {
  if (oldPath == nullptr || newPath == nullptr) return -1;
  const int r = pick(&HostOps::move)(oldPath, newPath);
  return noted(r, r != 0);
}

int host_make_dir(const char* path) {
  if (path == nullptr) return -1;
  return pick(&HostOps::make_dir)(path);
}

int host_remove_dir(const char* path) {
  if (path == nullptr) return -1;
  return pick(&HostOps::remove_dir)(path);
}

int host_set_attributes(const char* path, uint32_t attributes) {
  if (path == nullptr) return -1;
  const int r = pick(&HostOps::set_attributes)(path, attributes);
  return noted(r, r != 0);
}

uint32_t host_get_attributes(const char* path) {
  if (path == nullptr) return HOST_NO_SUCH_FILE;
  return pick(&HostOps::get_attributes)(path);
}

int host_force_delete(const char* path) {
  // Read-only, hidden and system files go too; the reset may fail (no such file) harmlessly.
  host_set_attributes(path, HOST_ATTR_NORMAL);
  return host_delete(path);
}

HostHandle host_recreate(const char* path, uint32_t attributes) {
  host_force_delete(path);
  return host_create(path, attributes);
}

int host_replace(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return -1;
  if (host_sync(from) != 0) return -1;
  const int r = patiently([from, to] { return pick(&HostOps::replace)(from, to); });
  return noted(r == 0 || r == HOST_IN_USE ? r : -1, r != 0);
}

int host_truncate(const char* path, int32_t length) {
  if (path == nullptr || length < 0) return -1;
  if (pick(&HostOps::truncate)(path, length) != 0) return -1;
  return host_sync(path);
}

int host_sync(const char* path) {
  if (path == nullptr) return -1;
  const int r = patiently([path] { return pick(&HostOps::sync)(path); });
  return noted(zero_or_failure(r), r != 0);
}

HostHandle host_lock(const char* path) {
  if (path == nullptr) return HOST_INVALID_HANDLE;
  return pick(&HostOps::lock)(path);
}

int host_unlock(const char* path, HostHandle lock) {
  if (path == nullptr || lock == HOST_INVALID_HANDLE || lock == HOST_IN_USE) return -1;
  return pick(&HostOps::unlock)(path, lock);
}

int host_lookup(const char* path, uint32_t* attributes) {
  uint32_t ignored = 0;
  if (path == nullptr) return -1;
  return pick(&HostOps::lookup)(path, attributes != nullptr ? attributes : &ignored);
}

int host_link(const char* existing, const char* newPath) {
  if (existing == nullptr || newPath == nullptr) return -1;
  const int r = patiently([existing, newPath] { return pick(&HostOps::link)(existing, newPath); });
  return noted(zero_or_failure(r), r != 0);
}

int host_busy(const char* path) {
  if (path == nullptr) return -1;
  const int result = patiently([path] { return pick(&HostOps::busy)(path); });
  return result == HOST_IN_USE ? 1 : result;
}

int host_carry_permissions(HostHandle handle, const char* like) {
  if (handle == HOST_INVALID_HANDLE || like == nullptr) return -1;
  const int r = pick(&HostOps::carry_permissions)(handle, like);
  return noted(r, r != 0);
}

int host_sync_folder(const char* path) {
  if (path == nullptr) return -1;
  const int r = pick(&HostOps::sync_folder)(path);
  return noted(r, r != 0);
}

int host_flush_volume(const char* path) {
  if (path == nullptr) return -1;
  const int r = pick(&HostOps::flush_volume)(path);
  return noted(r, r != 0);
}

int host_copy_access(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return -1;
  const int r = pick(&HostOps::copy_access)(from, to);
  return noted(r, r != 0);
}

uint32_t host_set_patience(uint32_t milliseconds) {
  const uint32_t before = g_patience;
  g_patience = milliseconds;
  return before;
}

uint32_t host_patience() { return g_patience / patience_divisor(); }

int host_find_first(const char* pattern, uint32_t mask, char* name) {
  if (name != nullptr) name[0] = '\0';
  // One search at a time: an abandoned one would otherwise keep its host handle for good.
  end_host_search();
  // Ordinary files usually carry the archive bit rather than the normal one.
  g_hostFindMask = mask == HOST_ATTR_NORMAL ? (HOST_ATTR_NORMAL | HOST_ATTR_ARCHIVE) : mask;
  if (pattern == nullptr) return -1;
  memset(&g_hostFindData, 0, sizeof g_hostFindData);
  g_hostFind = pick(&HostOps::find_first)(pattern, &g_hostFindData);
  if (g_hostFind == -1) return -1;
  if ((g_hostFindData.attributes & g_hostFindMask) != 0) {
    copy_found_name(name);
    return 0;
  }
  return host_find_next(name);
}

int host_find_next(char* name) {
  if (name != nullptr) name[0] = '\0';
  if (g_hostFind == -1) return -1;
  while (pick(&HostOps::find_next)(g_hostFind, &g_hostFindData) == 0) {
    if ((g_hostFindData.attributes & g_hostFindMask) != 0) {
      copy_found_name(name);
      return 0;
    }
  }
  end_host_search();
  return -1;
}

void* mem_alloc(size_t bytes) { return pick(&HostOps::alloc)(bytes); }

void* mem_realloc(void* block, size_t bytes) { return pick(&HostOps::realloc)(block, bytes); }

void mem_free(void* block) {
  if (block != nullptr) pick(&HostOps::free)(block);
}
