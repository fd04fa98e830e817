// A unique temporary folder for one test, removed with everything in it (read-only files too)
// when the object goes away. Paths are 8-bit strings with the platform's separator.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing separator; empty when it could not be made.
  const std::string& path() const { return path_; }
  // The folder joined with a name (which may itself hold separators).
  std::string join(const std::string& name) const;

#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif

 private:
  std::string path_;
};
