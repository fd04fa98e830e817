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

// Mapped by some process, else open by some process, else nothing; *holder is the process
// that maps it, else the first that has it open.
Seen seen_in_processes(const struct stat& file, long* holder) {
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
      *holder = strtol(d->d_name, nullptr, 10);
      break;
    }
    snprintf(entry, sizeof entry, "/proc/%.20s/fd", d->d_name);
    if (seen == Seen::Nothing && fds_name(entry, file)) {
      seen = Seen::Open;
      *holder = strtol(d->d_name, nullptr, 10);
    }
  }
  closedir(proc);
  return seen;
}

}  // namespace

// Who holds the file: 1 for a running program's hold, HOST_IN_USE for a hold that may pass, each
// with the holding process's id; 0 when nothing holds it, -1 when the file cannot be looked at.
int find_holder(const char* path, long* holder) {
  PosixPath p;
  if (!to_posix_path(path, p)) return -1;
  struct stat file;
  if (stat(p.text, &file) != 0) return -1;
  if (!S_ISREG(file.st_mode)) return 0;
  // This library's own handles first: read-only holders are a running program's hold.
  const Hold hold = hold_of(p.text);
  if (hold == Hold::Readers) {
    *holder = long(getpid());
    return 1;
  }
  long seenBy = 0;
  const Seen seen = seen_in_processes(file, &seenBy);
  if (seen == Seen::Mapped) {
    *holder = seenBy;
    return 1;
  }
  if (hold == Hold::Writer) {
    *holder = long(getpid());
    return HOST_IN_USE;
  }
  if (seen == Seen::Open) {
    *holder = seenBy;
    return HOST_IN_USE;
  }
  return 0;
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
  const int held = path == nullptr ? 0 : host_posix::find_holder(path, &holder);
  if ((held != 1 && held != HOST_IN_USE) || holder == 0) return 0;
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
