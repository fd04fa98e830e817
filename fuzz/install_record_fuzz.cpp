// Fuzz target for the install record: any bytes as "INSTALL.DAT", appended to, and the file
// compared with an independent reading of what the append must give (or the same bytes when
// the record is to be left alone), with nothing else left in its folder.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/updater.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool is_update_pak(const std::string& name) {
  if (name.size() != 10) return false;
  for (size_t i = 0; i < 10; ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != "update.pak"[i]) return false;
  }
  return true;
}

// What the record must hold after the append.
Bytes expected_after(const Bytes& old) {
  if (old.size() < 776) return old;
  const uint32_t listAt = le32(&old[768]);
  const int32_t count = int32_t(le32(&old[772]));
  if (count < 0) return old;
  std::vector<std::string> names;
  size_t at = listAt, taken = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (at >= old.size()) return old;
    size_t end = at;
    while (end < old.size() && old[end] != 0) ++end;
    if (end == old.size()) return old;
    std::string name(old.begin() + long(at), old.begin() + long(end));
    if (is_update_pak(name)) return old;
    taken += name.size() + 1;
    if (taken >= 512000) return old;
    names.push_back(name);
    at = end + 1;
  }
  if (512000 - taken <= 128) return old;
  Bytes out = old;
  const uint32_t size = uint32_t(old.size());
  const uint32_t newCount = uint32_t(count) + 1;
  for (int i = 0; i < 4; ++i) {
    out[768 + i] = uint8_t(size >> (8 * i));
    out[772 + i] = uint8_t(newCount >> (8 * i));
  }
  for (const std::string& n : names) {
    out.insert(out.end(), n.begin(), n.end());
    out.push_back(0);
  }
  const char added[] = "Update.PAK";
  out.insert(out.end(), added, added + sizeof added);
  return out;
}

// A private folder, on a memory file system when there is one (the append flushes its file).
const std::string& folder() {
  static const std::string path = [] {
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string templ = base + "/install-record-fuzz-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) abort();
    return templ;
  }();
  return path;
}

int entries(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) abort();
  int n = 0;
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
  }
  closedir(d);
  return n;
}

Bytes read_all(const std::string& path) {
  Bytes out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) abort();
  int c;
  while ((c = fgetc(f)) != EOF) out.push_back(uint8_t(c));
  fclose(f);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = folder() + "/INSTALL.DAT";
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size)) abort();
  fclose(f);

  const Bytes old(data, data + size);
  AppendInstallRecord(path.c_str());
  if (read_all(path) != expected_after(old)) abort();
  if (entries(folder()) != 1) abort();  // no staged copy or backup left behind
  unlink(path.c_str());
  return 0;
}
