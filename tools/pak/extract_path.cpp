// Safe extraction paths: every name is split into parts that each stay inside their folder;
// anything absolute, prefixed with a drive or mount letter, or climbing out is refused.
#include "tools/pak/extract_path.h"

#include <algorithm>
#include <cctype>

namespace {

// Device names that Windows opens instead of a file, with or without an extension.
bool device_name(const std::string& part) {
  std::string stem = part.substr(0, part.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return char(std::toupper(c)); });
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices) {
    if (stem == d) return true;
  }
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
         stem[3] >= '0' && stem[3] <= '9';
}

// A part made of dots and spaces only is "." or ".." (or becomes one on Windows).
bool climbs(const std::string& part) {
  return part.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

bool member_output_parts(const std::string& name, std::vector<std::string>* parts,
                         std::string* problem) {
  parts->clear();
  if (name.empty()) {
    *problem = "has an empty name";
    return false;
  }
  if (name[0] == '\\' || name[0] == '/') {
    *problem = "is an absolute path";
    return false;
  }
  if (name.find(':') != std::string::npos) {
    *problem = "carries a drive or mount prefix (pak cat writes it to standard output)";
    return false;
  }
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) {
      *problem = "holds control characters";
      return false;
    }
  }
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of("\\/", start);
    const std::string part = name.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty()) {
      *problem = "has an empty folder or file name in it";
      return false;
    }
    if (climbs(part)) {
      *problem = "climbs out of the folder with \"" + part + "\"";
      return false;
    }
    if (device_name(part)) {
      *problem = "names a device (\"" + part + "\")";
      return false;
    }
    parts->push_back(part);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}
