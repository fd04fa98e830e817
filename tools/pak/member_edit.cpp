// Member changes made on the in-memory directory of an archive open for writing, as the file
// layer makes them (deleted entries keep their place, renames drop the sorted index), with
// exact name matching where the file layer's lookup would honour wildcards.
#include "tools/pak/member_edit.h"

#include <cstring>

#include "vfs/file_handle.h"
#include "vfs/mount_path.h"

const char* member_name_problem(const std::string& name) {
  if (name.empty()) return "an empty member name";
  if (name.size() >= PAK_NAME_SIZE) return "member names are at most 39 bytes";
  if (name.find('\0') != std::string::npos) return "a member name cannot hold a zero byte";
  return nullptr;
}

int32_t find_live_member(const PakArchive& a, const std::string& name) {
  if (member_name_problem(name) != nullptr) return -1;
  for (int32_t i = a.entryCount - 1; i >= 0; --i) {
    const PakEntry& e = a.directory[i];
    if (e.offset != 0 && pak_name_compare(e.name, name.c_str()) == 0) return i;
  }
  return -1;
}

int delete_live_members(int slot, const std::string& name) {
  PakArchive& a = g_archives[slot];
  int deleted = 0;
  for (int32_t i = find_live_member(a, name); i >= 0; i = find_live_member(a, name)) {
    a.directory[i].offset = 0;
    a.state |= PAK_DIRTY;
    ++deleted;
  }
  return deleted;
}

void rename_member(int slot, int32_t entry, const std::string& newName) {
  PakArchive& a = g_archives[slot];
  PakEntry& e = a.directory[entry];
  std::memset(e.name, 0, sizeof e.name);
  std::memcpy(e.name, newName.data(), newName.size() < PAK_NAME_SIZE ? newName.size() : 0);
  pak_drop_index(slot);  // the name order no longer holds
  a.state |= PAK_DIRTY;
}

int32_t create_member(int slot, const std::string& name) {
  const PakArchive& a = g_archives[slot];
  if (member_name_problem(name) != nullptr || a.firstLetter <= 0 || a.firstLetter > a.lastLetter)
    return -1;
  // The member is created through its archive path with the mount prefix stripped, so the
  // stored name is exactly the given one.
  const std::string path = std::string(1, char(a.firstLetter)) + ":\\" + name;
  if (vfs_archive_for_path(path.c_str()) != slot) return -1;
  delete_live_members(slot, name);
  const int previous = g_prefixStrip;
  vfs_set_prefix_strip(1);
  const int32_t handle = vfs_create_new(path.c_str(), 0);
  vfs_set_prefix_strip(previous);
  return handle;
}
