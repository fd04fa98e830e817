// A private scratch folder per test, made with mkdtemp and removed recursively afterwards.
#include "support/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

ScratchDir::ScratchDir() {
  const std::string base = std::filesystem::temp_directory_path().string() + "/velmor-XXXXXX";
  std::vector<char> name(base.begin(), base.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
