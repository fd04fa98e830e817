// The pak tool's entry point: the library search restricted, standard streams, progress only
// on a terminal, and the command line handed to the commands.
#include <iostream>

#include "platform/safe_dll_search.h"
#include "tools/pak/file_ops.h"
#include "tools/pak/pak_commands.h"

int main(int argc, char** argv) {
  // Publishers run it from build folders, where anything may lie beside it.
  RestrictDllSearchToSystem(ProgramKind::Console);
  set_binary_stdout();
  std::ios::sync_with_stdio(false);
  ToolIo io{std::cout, std::cerr, stderr_is_terminal()};
  const int result = pak_main(argc, argv, io);
  std::cout.flush();
  return result;
}
