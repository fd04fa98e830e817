// A private scratch folder for one test: created empty under the system temp folder and
// removed with everything in it when the object goes away.
#pragma once

#include <string>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // The folder's path joined with a file name by the platform's separator.
  std::string file(const std::string& name) const { return path_ + kSeparator + name; }

#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif

 private:
  std::string path_;
};
