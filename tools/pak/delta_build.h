// The publisher's side of delta updates: for the new game executable and update pack and each
// previous version's folder, a packed delta when it is smaller than the packed whole file, and
// the manifest naming every file's new size and SHA-256 and each base's.
#pragma once

#include <string>
#include <vector>

#include "tools/pak/add_pipeline.h"
#include "tools/pak/tool_io.h"

struct DeltaBuildInput {
  std::string gameExe;            // the new files
  std::string pack;
  std::vector<std::string> bases;  // folders holding a previous Velmor.EXE and Update.PAK
  bool withFull = false;           // carry the whole files also for players who match no base
};

struct DeltaMember {
  std::string name;
  std::vector<uint8_t> bytes;  // added as they are
};

struct DeltaBuild {
  std::vector<AddItem> whole;        // whole files to pack into the payload
  std::vector<DeltaMember> members;  // packed deltas, then the manifest
  std::string summary;               // one line per file and base for the publisher
};

// A file of a base folder: folder, a separator unless it ends in one, name.
std::string base_file_path(const std::string& folder, const char* name);

// Reads the files and makes the deltas and the manifest. Reports and returns false on any
// problem (a base folder without the files, more than 16 bases).
bool build_deltas(const DeltaBuildInput& input, DeltaBuild* build, ToolIo& io);
