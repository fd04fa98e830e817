// Windows process steps: the standard streams. Permission bits have no meaning here; temporary
// files left by an interrupted run stay beside the archive under their "~pak" names.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/pak/file_ops.h"

bool copy_permissions(const std::string&, const std::string&) { return true; }

void watch_temp_file(const std::string&) {}
void forget_temp_file(const std::string&) {}

void advise_large_pages(void*, size_t) {}  // large pages need a privilege players lack

void use_utf8_paths() {}  // the manifest does it

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

void set_binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }
