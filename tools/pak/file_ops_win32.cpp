// Windows file steps: MoveFileEx replacing the target (write-through), SetEndOfFile, and the
// standard streams. Permission bits have no meaning here; temporary files left by an
// interrupted run stay beside the archive under their "~pak" names.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/pak/file_ops.h"

bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool truncate_file(const std::string& path, int64_t length) {
  if (length < 0 || length > 0x7FFFFFFF) return false;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFilePointer(file, LONG(length), nullptr, FILE_BEGIN) == DWORD(length) &&
                  SetEndOfFile(file) != 0 && FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && ok;
}

bool copy_permissions(const std::string&, const std::string&) { return true; }

void watch_temp_file(const std::string&) {}
void forget_temp_file(const std::string&) {}

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

void set_binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }
