// Adding files as members: each file is read, packed into a member record (on all cores, one
// file per thread at a time) unless stored as it is, and written in the given order, so the
// archive comes out byte for byte as adding the files one by one would make it.
#pragma once

#include <string>
#include <vector>

#include "tools/pak/tool_io.h"

struct AddItem {
  std::string file;     // disk path
  std::string name;     // member name, archive bytes
  std::string shown;    // the name as the user gave or sees it, for messages
};

struct AddSettings {
  bool stored = false;  // the file's bytes as they are instead of a packed record
  int level = -1;       // compression level: -1 zlib's default, 0 to 9
  unsigned threads = 0;  // packing threads; 0: one per core
};

// A whole disk file read into memory: false when it cannot be read.
bool read_whole_file(const std::string& path, std::vector<uint8_t>* out);
// A member of the given bytes, as they are, in the archive open for writing in slot (replacing
// any live member of its name): false when it cannot be written.
bool write_member_bytes(int slot, const std::string& name, const std::vector<uint8_t>& bytes);
bool write_member_bytes(int slot, const std::string& name, const uint8_t* bytes, size_t count);

// Adds the items to the archive open for writing in slot, each replacing any live member of
// its name. Reports the first problem (naming archive for archive-side ones) and returns false.
bool add_items(int slot, const std::vector<AddItem>& items, const AddSettings& settings,
               const std::string& archive, ToolIo& io);
