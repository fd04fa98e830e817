// Fuzz target for the updater's command-line options: up to eight arguments of any bytes. A
// parse either refuses with an error naming an argument, or gives options whose paths are
// terminated, unquoted and within their room, and which read the same when parsed again from
// the canonical spelling.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/update_options.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in{data, size};
  const int count = in.byte() % 9;
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) texts.push_back(in.text(255));
  std::vector<const char*> arguments;
  for (const std::string& t : texts) arguments.push_back(t.c_str());
  UpdateOptions o;
  char error[OPTION_ERROR_ROOM];
  std::memset(error, 'x', sizeof error);
  const int r = UpdateOptionsParse(count, arguments.data(), &o, error);
  if (memchr(error, '\0', sizeof error) == nullptr) abort();
  if (r != 0) {
    if (r != -1 || error[0] == '\0') abort();
    return 0;
  }
  for (const char* path : {o.folder, o.logPath}) {
    const size_t length = strnlen(path, OPTION_PATH_ROOM);
    if (length == OPTION_PATH_ROOM || memchr(path, '"', length) != nullptr) abort();
  }
  if (!o.hasFolder && o.folder[0] != '\0') abort();
  // The canonical spelling parses to the same options.
  std::vector<std::string> again;
  if (o.silent) again.push_back("/S");
  if (o.hasFolder) again.push_back(std::string("/DIR=") + o.folder);
  if (o.log) again.push_back(o.logPath[0] != '\0' ? std::string("--log=") + o.logPath : "--log");
  std::vector<const char*> againArgs;
  for (const std::string& t : again) againArgs.push_back(t.c_str());
  UpdateOptions p;
  if (UpdateOptionsParse(int(againArgs.size()), againArgs.data(), &p, error) != 0) abort();
  if (p.silent != o.silent || p.log != o.log || p.hasFolder != o.hasFolder ||
      std::strcmp(p.folder, o.folder) != 0 || std::strcmp(p.logPath, o.logPath) != 0)
    abort();
  return 0;
}
