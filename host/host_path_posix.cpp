// Host paths on POSIX: 8-bit text in the code page converted to the UTF-8 names on disk, drive
// letters through the Wine prefix's dosdevices folder, '\' to '/', and names resolved without
// regard to ASCII case where the exact name does not exist.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "host/host_posix.h"

namespace host_posix {
namespace {

// Appends bytes to a PosixPath, refusing (and remembering) anything that would not fit.
class PathBuilder {
 public:
  explicit PathBuilder(PosixPath& out) : out_(out) { out_.text[0] = '\0'; }

  bool append(const char* bytes, size_t count) {
    if (!ok_ || count >= POSIX_PATH_ROOM - length_) return ok_ = false;
    memcpy(out_.text + length_, bytes, count);
    length_ += count;
    out_.text[length_] = '\0';
    return true;
  }
  bool append(const char* text) { return append(text, strlen(text)); }
  bool append(char c) { return append(&c, 1); }

  size_t length() const { return length_; }
  const char* text() const { return out_.text; }
  bool ok() const { return ok_; }
  // Cuts the path back to length bytes.
  void cut(size_t length) {
    length_ = length;
    out_.text[length_] = '\0';
  }

 private:
  PosixPath& out_;
  size_t length_ = 0;
  bool ok_ = true;
};

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "$WINEPREFIX/dosdevices/x:" for drive letter x.
bool append_drive(PathBuilder& b, char letter) {
  const char* prefix = getenv("WINEPREFIX");
  if (prefix != nullptr && prefix[0] != '\0') {
    b.append(prefix);
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* user = getpwuid(getuid());
      home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return false;
    b.append(home);
    b.append("/.wine");
  }
  const char drive[] = {'/', fold(letter), ':'};
  return b.append("/dosdevices") && b.append(drive, sizeof drive);
}

// Appends the part of a drive path after "X:" as "/a/b": '.' parts dropped, and '..' never
// climbing above the drive's root, as Windows resolves them. "C:name" has no current folder per
// drive to be relative to, so it starts at the root too.
void append_below_drive_root(PathBuilder& b, const char* rest) {
  const size_t root = b.length();
  bool trailing = false;
  while (*rest != '\0') {
    if (*rest == '\\' || *rest == '/') {
      ++rest;
      trailing = true;
      continue;
    }
    const char* end = rest;
    while (*end != '\0' && *end != '\\' && *end != '/') ++end;
    const size_t length = static_cast<size_t>(end - rest);
    trailing = false;
    if (length == 2 && rest[0] == '.' && rest[1] == '.') {
      size_t cut = b.length();
      while (cut > root && b.text()[cut - 1] != '/') --cut;
      b.cut(cut > root ? cut - 1 : root);
    } else if (!(length == 1 && rest[0] == '.')) {
      b.append('/');
      b.append(rest, length);
    }
    rest = end;
  }
  if (trailing || b.length() == root) b.append('/');
}

bool exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

// Resolves only the last name, when its folder exists as written: the common case of a file
// that is about to be made. False when the folder is not there.
bool resolve_last_only(PosixPath& path) {
  char* slash = strrchr(path.text, '/');
  char* name = slash != nullptr ? slash + 1 : path.text;
  const size_t length = strlen(name);
  if (length == 0 || is_dot_name(name, length)) return false;
  char dir[POSIX_PATH_ROOM];
  if (slash == nullptr) {
    memcpy(dir, ".", 2);
  } else {
    const size_t dirLength = slash == path.text ? 1 : size_t(slash - path.text);
    memcpy(dir, path.text, dirLength);
    dir[dirLength] = '\0';
  }
  char match[256];
  const int found = find_folded(dir, name, length, match, sizeof match, &path.folderIndexed);
  if (found > 0) memcpy(name, match, length);
  return found >= 0;
}

// Rewrites path component by component, replacing each name that does not exist as written by
// an existing one that differs only in case. Stops resolving at the first name with no match.
bool resolve_case(PosixPath& path, bool resolveLast) {
  PosixPath original;
  memcpy(original.text, path.text, strlen(path.text) + 1);
  PathBuilder b(path);
  const char* s = original.text;
  bool missing = false;
  while (*s != '\0') {
    if (*s == '/') {
      b.append('/');
      ++s;
      continue;
    }
    const char* end = strchrnul(s, '/');
    const size_t length = static_cast<size_t>(end - s);
    const bool last = *end == '\0';
    const bool dots = is_dot_name(s, length);
    const size_t mark = b.length();
    if (!b.append(s, length)) return false;
    if (!missing && !dots && (resolveLast || !last) && !exists(path.text)) {
      b.cut(mark);
      char match[256];
      const char* dir = mark == 0 ? "." : path.text;
      if (find_folded(dir, s, length, match, sizeof match) > 0) {
        b.append(match, length);
      } else {
        b.append(s, length);
        missing = true;  // nothing below a missing name can exist
      }
    }
    s = end;
  }
  return b.ok();
}

}  // namespace

bool same_name_ignoring_case(const char* a, const char* b, size_t bLength) {
  for (size_t i = 0; i < bLength; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

uint32_t attributes_of(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return HOST_ATTR_DIRECTORY;
  uint32_t attributes = HOST_ATTR_ARCHIVE;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= HOST_ATTR_READONLY;
  return attributes;
}

bool to_posix_path(const char* path, PosixPath& out, bool resolveLast) {
  out.text[0] = '\0';
  const size_t length = strnlen(path, HOST_PATH_ROOM);
  if (length == 0 || length >= HOST_PATH_ROOM) return false;
  char text[DISK_PATH_ROOM];
  size_t textLength = 0;
  return to_disk_text(path, length, text, sizeof text, &textLength) &&
         map_disk_path(text, out, resolveLast);
}

bool map_disk_path(const char* path, PosixPath& out, bool resolveLast) {
  out.text[0] = '\0';
  out.folderIndexed = false;
  if (path[0] == '\0') return false;
  PathBuilder b(out);
  if (is_ascii_letter(path[0]) && path[1] == ':') {
    if (!append_drive(b, path[0])) return false;
    append_below_drive_root(b, path + 2);
  } else {
    for (const char* p = path; *p != '\0'; ++p) b.append(*p == '\\' ? '/' : *p);
  }
  if (!b.ok()) return false;
  // A folder whose index is held and current answers without looking the name up on disk:
  // for a file about to be made, that look would search the folder for a name that is not there.
  if (resolveLast && find_indexed(out.text) >= 0) {
    out.folderIndexed = true;
    return true;
  }
  if (exists(out.text)) return true;
  if (resolveLast && resolve_last_only(out)) return true;
  return resolve_case(out, resolveLast);
}

}  // namespace host_posix
