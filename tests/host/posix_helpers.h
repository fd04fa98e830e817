// Helpers of the POSIX host tests: environment variables and the code page set for one scope,
// and files written and looked at with plain system calls, past the host layer.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "host/code_page.h"

// Sets (or with no value, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Sets the code page of 8-bit paths for one scope.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(unsigned codePage) { host_set_code_page(codePage); }
  ~ScopedCodePage() { host_set_code_page(0); }
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;
};

inline bool write_plain(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0666);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && ok;
}

inline std::string read_plain(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(fd);
  return text;
}

inline bool exists_plain(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

