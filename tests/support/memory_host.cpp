// The in-memory host: a name-to-bytes table, a set of folder names, one open record per file,
// and host calls over them with the host layer's results (handles or -1, bytes moved, 0 or -1).
#include "support/memory_host.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "host/host.h"
#include "host/path.h"
#include "support/host_override.h"

namespace memory_host {
namespace {

constexpr HostHandle kFirstHandle = 7;
constexpr size_t kMaxOpen = 8;

struct Open {
  std::string name;  // empty: the record is free
  int64_t position = 0;
  bool writable = false;  // as the host refuses writes through a handle opened for reading
};

std::map<std::string, std::vector<uint8_t>> g_files;
std::set<std::string> g_folders;
Open g_open[kMaxOpen];
int g_changesUntilFailure = 0;  // 0: none planned
std::set<std::string> g_busy;  // names a pretended program runs from

// Counts one change; true when it is the one planned to fail.
bool change_fails() {
  if (g_changesUntilFailure <= 0) return false;
  return --g_changesUntilFailure == 0;
}

Open* open_of(HostHandle h) {
  const int64_t i = int64_t(h) - kFirstHandle;
  if (i < 0 || i >= int64_t(kMaxOpen) || g_open[i].name.empty()) return nullptr;
  return &g_open[i];
}
std::vector<uint8_t>* bytes_of(HostHandle h) {
  Open* o = open_of(h);
  return o == nullptr ? nullptr : &g_files[o->name];
}
bool is_open(const std::string& name) {
  return std::any_of(std::begin(g_open), std::end(g_open),
                     [&](const Open& o) { return o.name == name; });
}

HostHandle hand_out(const std::string& name, bool writable) {
  if (is_open(name)) return HOST_INVALID_HANDLE;
  for (size_t i = 0; i < kMaxOpen; ++i) {
    if (!g_open[i].name.empty()) continue;
    g_open[i] = Open{name, 0, writable};
    return kFirstHandle + HostHandle(i);
  }
  return HOST_INVALID_HANDLE;
}

HostHandle m_open(const char* path, int mode) {
  const bool writable = (mode & 0x0F) != HOST_MODE_READ;
  return g_files.count(path) != 0 ? hand_out(path, writable) : HOST_INVALID_HANDLE;
}
HostHandle m_create(const char* path, uint32_t attributes) {
  const bool exclusive = (attributes & HOST_CREATE_NEW) != 0;
  if (is_open(path) || g_folders.count(path) != 0 || (exclusive && g_files.count(path) != 0) ||
      change_fails())
    return HOST_INVALID_HANDLE;
  g_files[path].clear();
  return hand_out(path, true);
}
int32_t m_read(HostHandle h, void* buffer, int32_t count) {
  Open* o = open_of(h);
  if (o == nullptr || count <= 0) return 0;
  const std::vector<uint8_t>& file = g_files[o->name];
  if (o->position >= int64_t(file.size())) return 0;
  const int64_t n = std::min<int64_t>(count, int64_t(file.size()) - o->position);
  std::memcpy(buffer, file.data() + o->position, size_t(n));
  o->position += n;
  return int32_t(n);
}
int32_t m_write(HostHandle h, const void* buffer, int32_t count) {
  Open* o = open_of(h);
  if (o == nullptr || !o->writable || count <= 0 || o->position + count > int64_t(FILE_LIMIT)) {
    return 0;
  }
  if (change_fails()) return 0;
  std::vector<uint8_t>& file = g_files[o->name];
  if (size_t(o->position + count) > file.size()) file.resize(size_t(o->position + count));
  std::memcpy(file.data() + o->position, buffer, size_t(count));
  o->position += count;
  return count;
}
int m_close(HostHandle h) {
  Open* o = open_of(h);
  if (o == nullptr) return -1;
  *o = Open{};
  return 0;
}
int32_t m_seek(HostHandle h, int32_t offset, int method) {
  Open* o = open_of(h);
  if (o == nullptr) return -1;
  int64_t target = offset;
  if (method == HOST_SEEK_CURRENT) target += o->position;
  if (method == HOST_SEEK_END) target += int64_t(g_files[o->name].size());
  if (target < 0 || target > HOST_MAX_FILE_SIZE) return -1;
  o->position = target;
  return int32_t(target);
}
int32_t m_size(HostHandle h) {
  const std::vector<uint8_t>* file = bytes_of(h);
  return file == nullptr ? -1 : int32_t(file->size());
}
int m_flush(HostHandle h) { return open_of(h) != nullptr && !change_fails() ? 0 : -1; }
int m_remove(const char* path) {
  if (is_open(path) || g_files.count(path) == 0 || change_fails()) return -1;
  return g_files.erase(path) != 0 ? 0 : -1;
}
int m_move(const char* from, const char* to) {
  if (is_open(from) || g_files.count(from) == 0 || g_files.count(to) != 0 ||
      g_folders.count(to) != 0 || change_fails())
    return -1;
  g_files[to] = std::move(g_files[from]);
  g_files.erase(from);
  return 0;
}
int m_make_dir(const char* path) {
  if (g_files.count(path) != 0 || g_folders.count(path) != 0 || change_fails()) return -1;
  g_folders.insert(path);
  return 0;
}
int m_remove_dir(const char* path) {
  if (g_folders.count(path) == 0 || change_fails()) return -1;
  g_folders.erase(path);
  return 0;
}
int m_set_attributes(const char* path, uint32_t) {
  return g_files.count(path) != 0 || g_folders.count(path) != 0 ? 0 : -1;
}
uint32_t m_get_attributes(const char* path) {
  if (g_folders.count(path) != 0) return HOST_ATTR_DIRECTORY;
  return g_files.count(path) != 0 ? HOST_ATTR_ARCHIVE : HOST_NO_SUCH_FILE;
}
// Searches, one at a time as the host layer runs them: the files and folders directly in the
// pattern's folder whose names match its last part by the hosts' name-pattern rules.
std::vector<HostFindData> g_found;
size_t g_nextFound = 0;
constexpr intptr_t kSearch = 1;

// The length of a path's folder part, its last separator included (0 when it has none).
size_t folder_length(const std::string& path) { return path_dir_length(path.c_str()); }

int m_find_next(intptr_t search, HostFindData* out) {
  if (search != kSearch || g_nextFound >= g_found.size()) return -1;
  *out = g_found[g_nextFound++];
  return 0;
}
intptr_t m_find_first(const char* pattern, HostFindData* out) {
  const std::string p = pattern;
  const size_t folder = folder_length(p);
  g_found.clear();
  g_nextFound = 0;
  auto consider = [&](const std::string& path, uint32_t attributes) {
    if (folder_length(path) != folder || path.compare(0, folder, p, 0, folder) != 0) return;
    const std::string name = path.substr(folder);
    if (name.size() >= HOST_PATH_ROOM ||
        !path_name_matches_in(p.c_str() + folder, name.c_str(), path_code_page())) {
      return;
    }
    HostFindData found{};
    found.attributes = attributes;
    std::memcpy(found.name, name.c_str(), name.size() + 1);
    g_found.push_back(found);
  };
  for (const auto& file : g_files) consider(file.first, HOST_ATTR_ARCHIVE);
  for (const std::string& f : g_folders) consider(f, HOST_ATTR_DIRECTORY);
  return m_find_next(kSearch, out) == 0 ? kSearch : -1;
}
void m_find_close(intptr_t) {
  g_found.clear();
  g_nextFound = 0;
}
int m_replace(const char* from, const char* to) {
  if (is_open(to) || g_busy.count(to) != 0) return HOST_IN_USE;
  if (is_open(from) || g_files.count(from) == 0 || g_folders.count(to) != 0 || change_fails())
    return -1;
  g_files[to] = std::move(g_files[from]);
  g_files.erase(from);
  return 0;
}
int m_truncate(const char* path, int32_t length) {
  auto it = g_files.find(path);
  if (it == g_files.end() || length < 0 || size_t(length) > FILE_LIMIT || change_fails()) {
    return -1;
  }
  it->second.resize(size_t(length));
  return 0;
}
// Change locks: held names, not files (the real host's lock file goes when the lock does).
std::set<std::string> g_locks;
constexpr HostHandle kLockHandle = 900;
HostHandle m_lock(const char* path) {
  if (g_locks.count(path) != 0) return HOST_IN_USE;
  g_locks.insert(path);
  return kLockHandle;
}
int m_unlock(const char* path, HostHandle lock) {
  return lock == kLockHandle && g_locks.erase(path) != 0 ? 0 : -1;
}
int m_lookup(const char* path, uint32_t* attributes) {
  const uint32_t found = m_get_attributes(path);
  if (found == HOST_NO_SUCH_FILE) return HOST_ABSENT;
  if (attributes != nullptr) *attributes = found;
  return HOST_FOUND;
}
// A second name: here a copy, which serves as long as neither name is written through.
int m_link(const char* existing, const char* newPath) {
  if (g_files.count(existing) == 0 || g_files.count(newPath) != 0 ||
      g_folders.count(newPath) != 0 || change_fails())
    return -1;
  g_files[newPath] = g_files[existing];
  return 0;
}
int m_busy(const char* path) { return g_busy.count(path) != 0 ? 1 : 0; }
int m_sync(const char* path) { return g_files.count(path) != 0 && !change_fails() ? 0 : -1; }
// Files here carry no permission bits; an open handle takes them as a no-op.
int m_carry_permissions(HostHandle handle, const char* like) {
  return g_files.count(like) != 0 && handle != HOST_INVALID_HANDLE && !change_fails() ? 0 : -1;
}
int m_sync_folder(const char*) { return change_fails() ? -1 : 0; }
int m_flush_volume(const char*) { return change_fails() ? -1 : 0; }
// Memory files carry no access entries: there is nothing to copy.
int m_copy_access(const char* from, const char* to) {
  return g_files.count(from) != 0 && g_files.count(to) != 0 && !change_fails() ? 0 : -1;
}
// A clock of its own that a pause moves on at once: waits on a held file cost no time.
uint32_t g_now = 0;
uint32_t m_ticks() { return g_now; }
void m_pause(uint32_t milliseconds) { g_now += milliseconds; }

}  // namespace

void install() {
  g_files.clear();
  g_folders.clear();
  g_locks.clear();
  g_busy.clear();
  g_found.clear();
  g_nextFound = 0;
  g_changesUntilFailure = 0;
  for (Open& o : g_open) o = Open{};
  host_restore_all();
  host_override(&HostOps::open, m_open);
  host_override(&HostOps::create, m_create);
  host_override(&HostOps::read, m_read);
  host_override(&HostOps::write, m_write);
  host_override(&HostOps::close, m_close);
  host_override(&HostOps::seek, m_seek);
  host_override(&HostOps::size, m_size);
  host_override(&HostOps::flush, m_flush);
  host_override(&HostOps::remove, m_remove);
  host_override(&HostOps::move, m_move);
  host_override(&HostOps::make_dir, m_make_dir);
  host_override(&HostOps::remove_dir, m_remove_dir);
  host_override(&HostOps::set_attributes, m_set_attributes);
  host_override(&HostOps::get_attributes, m_get_attributes);
  host_override(&HostOps::find_first, m_find_first);
  host_override(&HostOps::find_next, m_find_next);
  host_override(&HostOps::find_close, m_find_close);
  host_override(&HostOps::replace, m_replace);
  host_override(&HostOps::truncate, m_truncate);
  host_override(&HostOps::sync, m_sync);
  host_override(&HostOps::lock, m_lock);
  host_override(&HostOps::lookup, m_lookup);
  host_override(&HostOps::link, m_link);
  host_override(&HostOps::busy, m_busy);
  host_override(&HostOps::unlock, m_unlock);
  host_override(&HostOps::flush_volume, m_flush_volume);
  host_override(&HostOps::copy_access, m_copy_access);
  host_override(&HostOps::ticks, m_ticks);
  host_override(&HostOps::pause, m_pause);
  host_override(&HostOps::carry_permissions, m_carry_permissions);
  host_override(&HostOps::sync_folder, m_sync_folder);
}

void install(const std::map<std::string, std::vector<uint8_t>>& files) {
  install();
  g_files = files;
}

void put(const std::string& name, std::vector<uint8_t> bytes) {
  g_files[name] = std::move(bytes);
}

const std::vector<uint8_t>* find(const std::string& name) {
  const auto it = g_files.find(name);
  return it == g_files.end() ? nullptr : &it->second;
}

const std::map<std::string, std::vector<uint8_t>>& files() { return g_files; }

void set_busy(const std::string& name) { g_busy.insert(name); }

void fail_change(int nth) { g_changesUntilFailure = nth > 0 ? nth : 0; }

}  // namespace memory_host
