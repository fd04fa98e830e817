// Disk path splitting for the tool: folders end at the last '/', '\' or drive colon; a file's
// own name follows the last '/' or '\' (a colon is part of a POSIX file name).
#include "tools/pak/disk_path.h"

namespace {

size_t after_last(const std::string& path, const char* separators) {
  const size_t last = path.find_last_of(separators);
  return last == std::string::npos ? 0 : last + 1;
}

}  // namespace

std::string disk_folder_part(const std::string& path) {
  return path.substr(0, after_last(path, "/\\:"));
}

std::string disk_file_part(const std::string& path) {
  return path.substr(after_last(path, "/\\"));
}
