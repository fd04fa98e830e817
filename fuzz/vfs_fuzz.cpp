// Fuzz target for the virtual file layer: the wildcard matcher on arbitrary patterns and
// unterminated name fields, and lookups, opens, reads, writes, creates, deletes, renames and
// searches over a fuzzed archive held in memory behind the host table.
//
// Input: byte 0 chooses the run. Even: [0][limit][pattern length][pattern][name bytes].
// Odd: [1|flags][op count][ops, op count x 6 bytes][archive bytes]; the archive's magic is
// forced to "PAKS". An op byte holds the operation in its low four bits (mod 10), a flag in
// bit 4 and the handle variable in its two high bits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/pak_table.h"
#include "vfs/delete_rename.h"
#include "vfs/file_handle.h"
#include "host/host.h"
#include "vfs/mount_path.h"
#include "vfs/search.h"
#include "support/host_override.h"
#include "support/memory_host.h"

namespace {

// The fuzzed archive lives in the in-memory host under one of these names.
const char* const MEM_PAK = "mem.pak";
const char* const MEM_EXE = "mem.exe";

// ---- Reading the input ----

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t byte() { return at < size ? data[at++] : 0; }
  std::string text(size_t maxLength) {
    const size_t n = std::min<size_t>(byte() % (maxLength + 1), size - std::min(at, size));
    std::string s(reinterpret_cast<const char*>(data + at), n);
    at += n;
    return s;
  }
};

// ---- Wildcard matcher ----

void fuzz_matcher(Input in) {
  const int limit = 1 + in.byte() % int(PAK_NAME_SIZE);
  const std::string pattern = in.text(255);
  // The name field is exactly PAK_NAME_SIZE bytes, not necessarily terminated.
  std::vector<char> field(PAK_NAME_SIZE, 'A');
  const size_t n = std::min(PAK_NAME_SIZE, in.size - std::min(in.at, in.size));
  if (n > 0) std::memcpy(field.data(), in.data + in.at, n);
  auto heapName = std::make_unique<char[]>(PAK_NAME_SIZE);
  std::memcpy(heapName.get(), field.data(), PAK_NAME_SIZE);
  auto heapPattern = std::make_unique<char[]>(pattern.size() + 1);
  std::memcpy(heapPattern.get(), pattern.c_str(), pattern.size() + 1);
  const int r = match_wildcard_name(heapPattern.get(), heapName.get(), limit);
  if (r != 0 && r != -1) __builtin_trap();
  // A pattern without wildcards matches the name it was copied from.
  if (pattern.find_first_of("*?") == std::string::npos && pattern.size() < PAK_NAME_SIZE) {
    std::memcpy(heapName.get(), pattern.c_str(), pattern.size() + 1);
    if (match_wildcard_name(heapPattern.get(), heapName.get(), int(PAK_NAME_SIZE)) != 0) {
      __builtin_trap();
    }
  }
}

// ---- Operations over a fuzzed archive ----

// A path for an entry's name: as stored, or behind the archive's letter and ":\".
std::string entry_path(int slot, Input& in) {
  const PakArchive& a = g_archives[slot];
  const int count = a.entryCount < a.capacity ? a.entryCount : a.capacity;
  std::string name;
  if (count > 0 && (in.byte() & 1)) {
    const PakEntry& e = a.directory[in.byte() % count];
    name.assign(e.name, strnlen(e.name, PAK_NAME_SIZE));
  } else {
    name = in.text(50);
  }
  if (in.byte() & 1) return name;
  return std::string(1, char(a.firstLetter)) + ":\\" + name;
}

bool is_member_path(const std::string& path) { return vfs_archive_for_path(path.c_str()) >= 0; }

void run_ops(Input& in, int opCount, const char* archivePath, int openMode) {
  int32_t handles[4] = {-1, -1, -1, -1};
  for (int i = 0; i < opCount && g_archiveTop > 0; ++i) {
    const int slot = g_archiveTop - 1;
    const uint8_t op = in.byte();
    int32_t& h = handles[op >> 6];
    char buffer[VFS_NAME_ROOM];
    switch ((op & 0x0F) % 10) {
      case 0: {
        const std::string p = entry_path(slot, in);
        vfs_find_member(p.c_str(), VFS_LOOKUP);
        break;
      }
      case 1: {
        const std::string p = entry_path(slot, in);
        if (!is_member_path(p)) break;
        vfs_close(h);
        h = vfs_open(p.c_str(), 0);
        break;
      }
      case 2: {
        uint8_t data[512];
        const int32_t n = vfs_read(h, data, in.byte() * 2);
        if (n < 0 || n > 510) __builtin_trap();
        break;
      }
      case 3: {
        const std::string bytes = in.text(200);
        vfs_write(h, bytes.data(), int32_t(bytes.size()));
        break;
      }
      case 4: {
        const int32_t offset = int32_t(int8_t(in.byte())) * 37;
        const int32_t pos = vfs_seek(h, offset, in.byte() % 4);
        if (h >= 0 && vfs_size(h) >= 0 && (pos < 0 || pos > vfs_size(h))) __builtin_trap();
        break;
      }
      case 5: {
        const std::string p = entry_path(slot, in);
        if (!is_member_path(p)) break;
        vfs_close(h);
        h = (in.byte() & 1) ? vfs_create(p.c_str(), 0) : vfs_create_new(p.c_str(), 0);
        break;
      }
      case 6: {
        const std::string p = entry_path(slot, in);
        if (is_member_path(p)) vfs_delete(p.c_str());
        break;
      }
      case 7: {
        const std::string p = entry_path(slot, in);
        const std::string newName = in.text(50);
        if (is_member_path(p)) vfs_rename(p.c_str(), newName.c_str());
        break;
      }
      case 8: {
        const std::string p = entry_path(slot, in);
        if (!is_member_path(p)) break;
        if (vfs_find_first_path(p.c_str(), in.byte(), buffer) == 0) {
          for (int k = 0; k < 8 && vfs_find_next_path(buffer) == 0; ++k) {
          }
        }
        break;
      }
      default:
        if (op & 0x10) {
          vfs_set_prefix_strip(g_prefixStrip == 0);
        } else {
          pak_close(slot);  // flushes a changed directory; open handles go stale
          pak_open(archivePath, openMode);
        }
        break;
    }
  }
  for (int32_t h : handles) vfs_close(h);
}

void fuzz_archive(Input in, uint8_t flags) {
  const int opCount = in.byte();
  const size_t opsAt = in.at;
  const size_t opsBytes = std::min<size_t>(size_t(opCount) * 6, in.size - std::min(in.at, in.size));
  std::vector<uint8_t> file(in.data + opsAt + opsBytes, in.data + in.size);
  if (file.size() >= 4) std::memcpy(file.data(), "PAKS", 4);
  Input ops{in.data + opsAt, opsBytes};

  const bool executable = (flags & 2) != 0;
  const char* path = executable ? MEM_EXE : MEM_PAK;
  memory_host::put(path, std::move(file));
  const int mode = executable ? PAK_OPEN_READ : PAK_OPEN_READWRITE;
  vfs_set_prefix_strip(flags & 4);
  if (pak_open(path, mode) >= 0) {
    run_ops(ops, opCount, path, mode);
  }
  pak_close_all();
  if (g_openMemberCount != 0) __builtin_trap();
  vfs_set_prefix_strip(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  memory_host::install();
  Input in{data, size, 1};
  if ((data[0] & 1) == 0) {
    fuzz_matcher(in);
  } else {
    fuzz_archive(in, data[0]);
  }
  host_restore_all();
  return 0;
}
