// The POSIX running-program test: a file is busy when some process has it mapped (a running
// executable, also one run by Wine), as /proc/<pid>/maps shows, or when handles of this library
// hold it only for reading (others may read, nobody may change it, as a game holds its files).
// A handle of this library that holds it for writing, or a descriptor of any process that has
// it open (/proc/<pid>/fd), is a hold that may pass. Files are compared by device and inode;
// processes whose entries cannot be read (other users', unless root) are not seen.
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

// What the process table says of a file.
enum class Seen { Nothing, Open, Mapped };

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

// Mapped by some process, else open by some process, else nothing.
Seen seen_in_processes(const struct stat& file) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return Seen::Nothing;  // no process table to look at
  Seen seen = Seen::Nothing;
  char entry[64];
  while (seen != Seen::Mapped) {
    const struct dirent* d = readdir(proc);
    if (d == nullptr) break;
    if (!all_digits(d->d_name)) continue;
    snprintf(entry, sizeof entry, "/proc/%.20s/maps", d->d_name);
    if (maps_name(entry, file)) {
      seen = Seen::Mapped;
      break;
    }
    snprintf(entry, sizeof entry, "/proc/%.20s/fd", d->d_name);
    if (seen == Seen::Nothing && fds_name(entry, file)) seen = Seen::Open;
  }
  closedir(proc);
  return seen;
}

}  // namespace

int busy(const char* path) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat file;
  if (stat(p.text, &file) != 0) return -1;
  if (!S_ISREG(file.st_mode)) return 0;
  const Hold hold = hold_of(p.text);
  if (hold == Hold::Readers) return 1;
  const Seen seen = seen_in_processes(file);
  if (seen == Seen::Mapped) return 1;
  return hold == Hold::Writer || seen == Seen::Open ? HOST_IN_USE : 0;
}

}  // namespace host_posix
