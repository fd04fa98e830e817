// The pak tool test fixture's folder scan: working copies that a command must never leave.
#include "pak_tool_fixture.h"

#include <filesystem>

std::vector<std::string> PakToolTest::leftovers() const {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("~pak", 0) == 0 || name.find(".~") != std::string::npos) found.push_back(name);
  }
  return found;
}
