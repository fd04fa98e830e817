// A private scratch folder per test, made with mkdtemp (on Windows, under a random name) and
// removed recursively afterwards.
#include "support/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

ScratchDir::ScratchDir() {
  std::string base = std::filesystem::temp_directory_path().string();
  while (!base.empty() && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  base += kSeparator + std::string("velmor-XXXXXX");
  std::vector<char> name(base.begin(), base.end());
  name.push_back('\0');
#ifdef _WIN32
  // Windows has no mkdtemp: draw names until one can be made.
  static std::mt19937 random(std::random_device{}());
  bool made = false;
  for (int attempt = 0; attempt < 100 && !made; ++attempt) {
    for (size_t i = name.size() - 7; i + 1 < name.size(); ++i) {
      name[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[random() % 36];
    }
    std::error_code error;
    made = std::filesystem::create_directory(name.data(), error);
  }
  if (!made) throw std::runtime_error("could not make a scratch folder");
#else
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
#endif
  path_ = name.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
