// Unique temporary folders through std::filesystem, so the same code runs natively and as a
// Windows program; removal first gives every file write permission (Windows refuses otherwise).
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string unique_name() {
  static std::atomic<unsigned> counter{0};
  static std::mt19937_64 random(std::random_device{}() ^
                                static_cast<uint64_t>(
                                    std::chrono::steady_clock::now().time_since_epoch().count()));
  char name[64];
  snprintf(name, sizeof name, "velmor-test-%016llx-%u",
           static_cast<unsigned long long>(random()), counter++);
  return name;
}

}  // namespace

TempDir::TempDir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) {
    ADD_FAILURE() << "no temporary folder: " << error.message();
    return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / unique_name();
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      while (!path_.empty() && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
      return;
    }
  }
  ADD_FAILURE() << "could not make a temporary folder under " << base.string();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code ignored;
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, error);
}

std::string TempDir::join(const std::string& name) const { return path_ + kSeparator + name; }
