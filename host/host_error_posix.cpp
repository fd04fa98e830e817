// POSIX system errors for the application's reports: errno, its text, and the folder the
// support log goes to by default ($XDG_STATE_HOME/velmor, else ~/.local/state/velmor), made
// when missing.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host.h"

int host_system_error() { return errno; }

size_t host_error_text(int error, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  const int n = std::snprintf(buffer, room, "%s", strerror(error));
  return n > 0 && size_t(n) < room ? size_t(n) : 0;
}

size_t host_log_dir(char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  const char* state = getenv("XDG_STATE_HOME");
  const char* home = getenv("HOME");
  char path[1024];
  int n = 0;
  if (state != nullptr && state[0] == '/') {
    n = std::snprintf(path, sizeof path, "%s/velmor/", state);
  } else if (home != nullptr && home[0] == '/') {
    n = std::snprintf(path, sizeof path, "%s/.local/state/velmor/", home);
  } else {
    return 0;
  }
  if (n <= 0 || size_t(n) >= sizeof path || size_t(n) >= room) return 0;
  // Each folder on the way, made when missing.
  for (char* p = path + 1; *p != '\0'; ++p) {
    if (*p != '/') continue;
    *p = '\0';
    mkdir(path, 0700);
    *p = '/';
  }
  std::memcpy(buffer, path, size_t(n) + 1);
  return size_t(n);
}

