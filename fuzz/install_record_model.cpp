// The install record's expected bytes after an append, read from the record's layout afresh
// (header 768 bytes, list offset, name count, the names) rather than through the updater.
#include "install_record_model.h"

#include <string>

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

}  // namespace

Bytes install_record_after_append(const Bytes& old) {
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
