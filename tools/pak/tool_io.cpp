// The message forms of the pak tool: one line each, naming the file concerned.
#include "tools/pak/tool_io.h"

int report(ToolIo& io, const std::string& file, const std::string& what) {
  io.err << "pak: " << file << ": " << what << '\n';
  return PAK_EXIT_FAILED;
}

bool fail(ToolIo& io, const std::string& file, const std::string& what) {
  report(io, file, what);
  return false;
}

void warn(ToolIo& io, const std::string& file, const std::string& what) {
  io.err << "pak: " << file << ": warning: " << what << '\n';
}

int usage(ToolIo& io, const std::string& what) {
  io.err << "pak: usage: " << what << '\n';
  return PAK_EXIT_USAGE;
}
