// The commands of the pak tool, callable in-process: each takes its options and the streams
// to use and returns the exit code (0 done, 1 failed, 2 bad usage). Paths and names come as
// the user typed them (the terminal's encoding); rawNames passes names through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pak/tool_io.h"

struct CreateOptions {
  std::string archive;
  std::string letters = "#";  // one mount letter, or the first and last of a range
  uint32_t userValue = 0;
  bool plainDirectory = false;
};

struct AddOptions {
  std::string archive;
  std::vector<std::string> files;
  std::string as;        // the member name for a single file; empty: the file's own name
  bool stored = false;
  int level = -1;        // -1: zlib's default
  unsigned threads = 0;  // packing threads; 0: one per core
  bool rawNames = false;
};

struct ListOptions {
  std::string archive;
  bool all = false;
  bool json = false;
  bool rawNames = false;
};

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> patterns;  // none: every member
  std::string directory = ".";
  bool stored = false;
  unsigned threads = 0;  // unpacking threads; 0: one per core
  bool rawNames = false;
};

struct CatOptions {
  std::string archive;
  std::string name;
  bool rawNames = false;
};

struct DeleteOptions {
  std::string archive;
  std::vector<std::string> names;
  bool rawNames = false;
};

struct RenameOptions {
  std::string archive;
  std::string oldName;
  std::string newName;
  bool rawNames = false;
};

struct VerifyOptions {
  std::string archive;
  bool rawNames = false;
  std::vector<std::string> bases;  // an updater's base folders: its deltas applied and checked
};

struct InfoOptions {
  std::string file;
  bool json = false;
};

struct BuildUpdaterOptions {
  std::string stub;
  std::string gameExe;
  std::string pack;
  std::string out;
  std::vector<std::string> bases;  // previous versions' folders: deltas against each
  bool withFull = false;           // with bases: the whole files too
};

int run_create(const CreateOptions& options, ToolIo& io);
int run_add(const AddOptions& options, ToolIo& io);
int run_list(const ListOptions& options, ToolIo& io);
int run_extract(const ExtractOptions& options, ToolIo& io);
int run_cat(const CatOptions& options, ToolIo& io);
int run_delete(const DeleteOptions& options, ToolIo& io);
int run_rename(const RenameOptions& options, ToolIo& io);
int run_compact(const std::string& archive, ToolIo& io);
int run_verify(const VerifyOptions& options, ToolIo& io);
int run_info(const InfoOptions& options, ToolIo& io);
int run_build_updater(const BuildUpdaterOptions& options, ToolIo& io);

// The whole command line (argv[0] first), parsed and run.
int pak_main(int argc, const char* const* argv, ToolIo& io);
