// The POSIX running-program test: a file is busy when a handle of this library holds it, or
// when any process has it mapped (a running executable, also one run by Wine) or open, as
// /proc/<pid>/maps and /proc/<pid>/fd show, compared by device and inode. Processes whose
// entries cannot be read (other users', unless root) are not seen.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host_posix.h"

namespace host_posix {
namespace {

constexpr size_t LINE_ROOM = 512;

bool all_digits(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// True when a line of the maps file at path names the file (device "major:minor" in hex, then
// the inode). Lines longer than the buffer are read in pieces; only line starts are parsed.
bool maps_name(const char* path, const struct stat& file) {
  FILE* maps = fopen(path, "re");
  if (maps == nullptr) return false;
  char line[LINE_ROOM];
  bool atStart = true;
  bool found = false;
  while (!found && fgets(line, sizeof line, maps) != nullptr) {
    const bool start = atStart;
    atStart = strchr(line, '\n') != nullptr;
    if (!start) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (sscanf(line, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3 && inode != 0 &&
        inode == file.st_ino && makedev(major, minor) == file.st_dev) {
      found = true;
    }
  }
  fclose(maps);
  return found;
}

// True when one of the descriptors in the fd folder at path is the file.
bool fds_name(const char* path, const struct stat& file) {
  DIR* fds = opendir(path);
  if (fds == nullptr) return false;
  bool found = false;
  char entry[POSIX_PATH_ROOM];
  while (!found) {
    const struct dirent* d = readdir(fds);
    if (d == nullptr) break;
    if (!all_digits(d->d_name)) continue;
    const int n = snprintf(entry, sizeof entry, "%s/%s", path, d->d_name);
    struct stat st;
    found = n > 0 && size_t(n) < sizeof entry && stat(entry, &st) == 0 &&
            st.st_ino == file.st_ino && st.st_dev == file.st_dev;
  }
  closedir(fds);
  return found;
}

}  // namespace

// The first process that has the file mapped or open: 1 with its id, 0 when none does, -1 when
// the file cannot be looked at.
int find_holder(const char* path, long* holder) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat file;
  if (stat(p.text, &file) != 0) return -1;
  if (!S_ISREG(file.st_mode)) return 0;
  if (in_use(p.text)) {
    *holder = long(getpid());
    return 1;
  }
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;  // no process table to look at
  int result = 0;
  char entry[64];
  while (result == 0) {
    const struct dirent* d = readdir(proc);
    if (d == nullptr) break;
    if (!all_digits(d->d_name)) continue;
    snprintf(entry, sizeof entry, "/proc/%.20s/maps", d->d_name);
    if (maps_name(entry, file)) result = 1;
    snprintf(entry, sizeof entry, "/proc/%.20s/fd", d->d_name);
    if (result == 0 && fds_name(entry, file)) result = 1;
    if (result == 1) *holder = strtol(d->d_name, nullptr, 10);
  }
  closedir(proc);
  return result;
}

int busy(const char* path) {
  long holder = 0;
  return find_holder(path, &holder);
}

}  // namespace host_posix

size_t host_holder_name(const char* path, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  long holder = 0;
  if (path == nullptr || host_posix::find_holder(path, &holder) != 1) return 0;
  char comm[64];
  snprintf(comm, sizeof comm, "/proc/%ld/comm", holder);
  FILE* f = fopen(comm, "re");
  char name[64] = "";
  if (f != nullptr) {
    if (fgets(name, sizeof name, f) == nullptr) name[0] = '\0';
    fclose(f);
  }
  name[strcspn(name, "\n")] = '\0';
  const int n = snprintf(buffer, room, "%s (process %ld)", name[0] != '\0' ? name : "a program", holder);
  return n > 0 && size_t(n) < room ? size_t(n) : 0;
}
