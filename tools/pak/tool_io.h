// Where a command of the pak tool writes: its output, its messages, whether progress may be
// shown, and the one-line message forms ("pak: FILE: what is wrong").
#pragma once

#include <ostream>
#include <string>

constexpr int PAK_EXIT_OK = 0;
constexpr int PAK_EXIT_FAILED = 1;
constexpr int PAK_EXIT_USAGE = 2;

struct ToolIo {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;  // messages go to a terminal: long work shows how far it is
};

// Writes "pak: FILE: what" on the message stream and returns PAK_EXIT_FAILED.
int report(ToolIo& io, const std::string& file, const std::string& what);
// The same, returning false: for the steps that answer with a bool.
bool fail(ToolIo& io, const std::string& file, const std::string& what);
// Writes "pak: FILE: warning: what".
void warn(ToolIo& io, const std::string& file, const std::string& what);
// Writes "pak: usage: what" and returns PAK_EXIT_USAGE.
int usage(ToolIo& io, const std::string& what);
