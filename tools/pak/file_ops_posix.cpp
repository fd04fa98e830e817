// POSIX file steps: rename(2) over the target, ftruncate + fsync, chmod, and a signal handler
// that unlinks the watched temporary files. Host paths go through the host layer's mapping.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/pak/file_ops.h"
#include "vfs/host/host_posix.h"

namespace {

using host_posix::PosixPath;
using host_posix::to_posix_path;

bool sync_path(const char* path, int flags) {
  const int fd = open(path, flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// The folder part of a POSIX path, for syncing the folder after a rename.
void folder_of(const char* path, char* out, size_t room) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::snprintf(out, room, ".");
  } else if (slash == path) {
    std::snprintf(out, room, "/");
  } else {
    std::snprintf(out, room, "%.*s", int(slash - path), path);
  }
}

constexpr int kWatchSlots = 4;
// Written only outside the handler; a slot's path is complete before its flag is set.
PosixPath g_watched[kWatchSlots];
volatile sig_atomic_t g_watchedSet[kWatchSlots];
bool g_handlersInstalled = false;

void remove_watched_and_die(int signal) {
  for (int i = 0; i < kWatchSlots; ++i) {
    if (g_watchedSet[i] != 0) unlink(g_watched[i].text);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

bool replace_file(const std::string& from, const std::string& to) {
  PosixPath source, target;
  if (!to_posix_path(from.c_str(), source) || !to_posix_path(to.c_str(), target)) return false;
  struct stat previous;
  if (stat(target.text, &previous) == 0 && chmod(source.text, previous.st_mode & 07777) != 0)
    return false;
  if (!sync_path(source.text, O_RDONLY) || rename(source.text, target.text) != 0) return false;
  char folder[host_posix::POSIX_PATH_ROOM];
  folder_of(target.text, folder, sizeof folder);
  sync_path(folder, O_RDONLY | O_DIRECTORY);  // some file systems cannot sync folders
  return true;
}

bool truncate_file(const std::string& path, int64_t length) {
  PosixPath p;
  if (length < 0 || !to_posix_path(path.c_str(), p)) return false;
  const int fd = open(p.text, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ftruncate(fd, off_t(length)) == 0 && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool copy_permissions(const std::string& from, const std::string& to) {
  PosixPath source, target;
  struct stat st;
  return to_posix_path(from.c_str(), source) && to_posix_path(to.c_str(), target) &&
         stat(source.text, &st) == 0 && chmod(target.text, st.st_mode & 07777) == 0;
}

void watch_temp_file(const std::string& path) {
  if (!g_handlersInstalled) {
    g_handlersInstalled = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction action = {};
      action.sa_handler = remove_watched_and_die;
      sigemptyset(&action.sa_mask);
      // Leave a signal the user chose to ignore ignored.
      struct sigaction before = {};
      if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
      sigaction(signal, &action, nullptr);
    }
  }
  for (int i = 0; i < kWatchSlots; ++i) {
    if (g_watchedSet[i] != 0) continue;
    if (!to_posix_path(path.c_str(), g_watched[i], false)) return;
    g_watchedSet[i] = 1;
    return;
  }
}

void forget_temp_file(const std::string& path) {
  PosixPath p;
  if (!to_posix_path(path.c_str(), p, false)) return;
  for (int i = 0; i < kWatchSlots; ++i) {
    if (g_watchedSet[i] != 0 && std::strcmp(g_watched[i].text, p.text) == 0) g_watchedSet[i] = 0;
  }
}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }

void set_binary_stdout() {}
