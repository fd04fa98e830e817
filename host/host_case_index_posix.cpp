// Case-blind name lookup on POSIX in time independent of a folder's size: per folder, an index
// of its names with ASCII letters folded, built by one listing, kept right across this
// process's own creates, deletes and renames, and built again once the folder's identity or
// change times (nanoseconds) show it changed behind the index.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/host_posix.h"

namespace host_posix {
namespace {

// Folders indexed at once; the least recently used one goes first.
constexpr size_t MAX_FOLDERS = 32;

// What tells a folder's state. The kernel gives a change right after a stat a distinct time
// (fine-grained timestamps); size and link count catch more on file systems that grow them.
struct Stamp {
  dev_t device;
  ino_t inode;
  timespec modified;
  timespec changed;
  off_t size;
  nlink_t links;

  bool operator==(const Stamp& o) const {
    return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec && size == o.size && links == o.links;
  }
};

Stamp stamp_of(const struct stat& st) {
  return Stamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim, st.st_size, st.st_nlink};
}

bool stamp_now(const char* dir, Stamp& out) {
  struct stat st;
  if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  out = stamp_of(st);
  return true;
}

std::string folded(const char* name, size_t length) {
  std::string key(name, length);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return key;
}

struct Folder {
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
    if (fd >= 0) close(fd);
  }

  std::string path;
  // The folder the index was listed from, held open: a change of this process's own is
  // stamped through it without walking the path again. Whether the path still leads to it is
  // told by the stamp's device and inode at the next look by path.
  int fd = -1;
  Stamp stamp{};
  uint64_t used = 0;
  // Folded name -> the names that fold to it (nearly always one).
  std::unordered_map<std::string, std::vector<std::string>> names;

  void add(const char* name, size_t length) {
    std::vector<std::string>& all = names[folded(name, length)];
    const std::string_view added(name, length);
    for (const std::string& n : all) {
      if (n == added) return;
    }
    all.emplace_back(added);
  }
  void remove(const char* name, size_t length) {
    const auto it = names.find(folded(name, length));
    if (it == names.end()) return;
    std::vector<std::string>& all = it->second;
    for (auto n = all.begin(); n != all.end(); ++n) {
      if (*n == std::string_view(name, length)) {
        all.erase(n);
        break;
      }
    }
    if (all.empty()) names.erase(it);
  }
  // The names that fold to name's key, or null.
  const std::vector<std::string>* alike(const char* name, size_t length) const {
    const auto it = names.find(folded(name, length));
    return it != names.end() ? &it->second : nullptr;
  }
  // The smallest byte-wise of the names that fold to name's key, or null.
  const std::string* smallest(const char* name, size_t length) const {
    const std::vector<std::string>* all = alike(name, length);
    if (all == nullptr) return nullptr;
    const std::string* best = nullptr;
    for (const std::string& n : *all) {
      if (best == nullptr || n < *best) best = &n;
    }
    return best;
  }
};

std::mutex g_lock;
std::vector<std::unique_ptr<Folder>> g_folders;
uint64_t g_clock = 0;

Folder* known(std::string_view path) {
  for (auto& f : g_folders) {
    if (f->path == path) return f.get();
  }
  return nullptr;
}

void forget(const Folder* folder) {
  for (auto it = g_folders.begin(); it != g_folders.end(); ++it) {
    if (it->get() == folder) {
      g_folders.erase(it);
      return;
    }
  }
}

// Lists the folder into a fresh index; the stamp is taken before the listing, so a change
// made while it runs shows as a change later.
Folder* build(const std::string& path) {
  auto folder = std::make_unique<Folder>();
  folder->path = path;
  folder->fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (folder->fd < 0 || fstat(folder->fd, &st) != 0) return nullptr;
  folder->stamp = stamp_of(st);
  const int listingFd = fcntl(folder->fd, F_DUPFD_CLOEXEC, 0);
  DIR* listing = listingFd >= 0 ? fdopendir(listingFd) : nullptr;
  if (listing == nullptr) {
    if (listingFd >= 0) close(listingFd);
    return nullptr;
  }
  try {
    while (const dirent* entry = readdir(listing)) folder->add(entry->d_name, strlen(entry->d_name));
  } catch (...) {
    closedir(listing);
    throw;
  }
  closedir(listing);
  if (const Folder* old = known(path)) forget(old);
  if (g_folders.size() >= MAX_FOLDERS) {
    auto oldest = g_folders.begin();
    for (auto it = g_folders.begin(); it != g_folders.end(); ++it) {
      if ((*it)->used < (*oldest)->used) oldest = it;
    }
    g_folders.erase(oldest);
  }
  g_folders.push_back(std::move(folder));
  return g_folders.back().get();
}

// The index of dir as it is now, built when missing or out of date.
Folder* current(const std::string& dir) {
  Stamp now;
  if (!stamp_now(dir.c_str(), now)) return nullptr;
  Folder* folder = known(dir);
  if (folder == nullptr || !(folder->stamp == now)) folder = build(dir);
  if (folder != nullptr) folder->used = ++g_clock;
  return folder;
}

// The folder part of a POSIX path ("." when it has none) and where its last name starts.
std::string_view folder_of(const char* path, const char** name) {
  const char* slash = strrchr(path, '/');
  *name = slash != nullptr ? slash + 1 : path;
  if (slash == nullptr) return ".";
  if (slash == path) return "/";
  return std::string_view(path, size_t(slash - path));
}

// The same lookup by one listing, for when the index cannot be had (no memory).
int scan_folded(const char* dir, const char* name, size_t length, char* match, size_t room) {
  DIR* listing = opendir(dir);
  if (listing == nullptr) return -1;
  bool found = false;
  while (const dirent* entry = readdir(listing)) {
    if (strlen(entry->d_name) != length || length >= room) continue;
    if (!same_name_ignoring_case(entry->d_name, name, length)) continue;
    if (!found || strcmp(entry->d_name, match) < 0) {
      memcpy(match, entry->d_name, length + 1);
      found = true;
    }
  }
  closedir(listing);
  return found ? 1 : 0;
}

}  // namespace

int find_folded(const char* dir, const char* name, size_t length, char* match, size_t room,
                bool* indexed) {
  if (indexed != nullptr) *indexed = false;
  try {
    std::string key(dir);
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    std::lock_guard<std::mutex> hold(g_lock);
    const Folder* folder = current(key);
    if (folder == nullptr) return -1;
    if (indexed != nullptr) *indexed = true;
    const std::string* found = folder->smallest(name, length);
    if (found == nullptr || found->size() >= room) return 0;
    memcpy(match, found->c_str(), found->size() + 1);
    return 1;
  } catch (...) {
    return scan_folded(dir, name, length, match, room);
  }
}

int find_indexed(char* path) {
  const char* name;
  const std::string_view dir = folder_of(path, &name);
  const size_t length = strlen(name);
  if (length == 0 || is_dot_name(name, length)) return -1;  // not the listing's to answer
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    Folder* folder = known(dir);
    Stamp now;
    if (folder == nullptr || !stamp_now(folder->path.c_str(), now) || !(folder->stamp == now)) {
      return -1;
    }
    folder->used = ++g_clock;
    const std::vector<std::string>* all = folder->alike(name, length);
    if (all == nullptr) return 0;
    for (const std::string& n : *all) {
      if (n == std::string_view(name, length)) return 1;
    }
    const std::string* found = folder->smallest(name, length);
    memcpy(path + (name - path), found->data(), length);  // folding keeps the length
    return 2;
  } catch (...) {
    return -1;
  }
}

FolderChange::FolderChange(const char* path, bool indexJustChecked) : path_(path) {
  if (indexJustChecked) return;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    const char* name;
    Folder* folder = known(folder_of(path, &name));
    Stamp now;
    // An index that was out of date before the change is not brought up to date by it.
    if (folder != nullptr && !(stamp_now(folder->path.c_str(), now) && folder->stamp == now)) {
      forget(folder);
    }
  } catch (...) {
  }
}

void FolderChange::done(bool added) {
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    const char* name;
    Folder* folder = known(folder_of(path_, &name));
    if (folder == nullptr) return;
    struct stat st;
    const size_t length = strlen(name);
    if (fstat(folder->fd, &st) != 0) {
      forget(folder);
    } else {
      if (added) {
        folder->add(name, length);
      } else {
        folder->remove(name, length);
      }
      folder->stamp = stamp_of(st);
    }
  } catch (...) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_folders.clear();
  }
}

}  // namespace host_posix
