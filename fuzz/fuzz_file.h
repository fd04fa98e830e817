// What the file-reading fuzz targets share: a scratch folder of their own for the process, and
// the input written whole into a file there.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

// A fresh folder under /tmp named after the target, made once per process.
inline const std::string& fuzz_scratch_folder(const char* target) {
  static const std::string folder = [target] {
    std::string name = std::string("/tmp/") + target + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) abort();
    return name;
  }();
  return folder;
}

inline bool fuzz_write_file(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool whole = size == 0 || fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && whole;
}
