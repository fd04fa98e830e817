// POSIX file steps: chmod, a signal handler that unlinks the watched temporary files, UTF-8 as
// the paths' code page, and the standard streams. Host paths become system paths through the
// host layer's mapping.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/pak/file_ops.h"
#include "host/code_page.h"
#include "host/host.h"

namespace {

// Room for a system path: a Wine prefix may make it longer than the host path.
constexpr size_t kSystemPathRoom = 4096;
struct SystemPath {
  char text[kSystemPathRoom];
};

bool system_path(const std::string& path, SystemPath& out) {
  return host_system_path(path.c_str(), out.text, sizeof out.text) != 0;
}

constexpr int kWatchSlots = 4;
// Written only outside the handler; a slot's path is complete before its flag is set.
SystemPath g_watched[kWatchSlots];
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

bool copy_permissions(const std::string& from, const std::string& to) {
  SystemPath source, target;
  struct stat st;
  return system_path(from, source) && system_path(to, target) &&
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
    if (!system_path(path, g_watched[i])) return;
    g_watchedSet[i] = 1;
    return;
  }
}

void forget_temp_file(const std::string& path) {
  SystemPath p;
  if (!system_path(path, p)) return;
  for (int i = 0; i < kWatchSlots; ++i) {
    if (g_watchedSet[i] != 0 && std::strcmp(g_watched[i].text, p.text) == 0) g_watchedSet[i] = 0;
  }
}

void advise_large_pages(void* start, size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Only whole pages inside the buffer: the advice applies to the pages it covers.
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t first = (uintptr_t(start) + page - 1) & ~(page - 1);
  const uintptr_t end = (uintptr_t(start) + bytes) & ~(page - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)start;
  (void)bytes;
#endif
}

void use_utf8_paths() { host_set_code_page(HOST_CODE_PAGE_UTF8); }

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }

void set_binary_stdout() {}
