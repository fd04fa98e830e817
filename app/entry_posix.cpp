// The updater's entry point on POSIX systems: a console program whose dialogs are answered on
// the terminal. Without arguments it runs as always and exits with 0; its options (see
// update_options.h) are read here, paths converted from the terminal's UTF-8 to the code page.
#include <clocale>
#include <cstdio>
#include <cstring>

#include "app/exit_code.h"
#include "app/update_options.h"
#include "app/updater.h"
#include "host/code_page.h"

namespace {

// A path option in the code page; false when it cannot be spelled there.
bool to_code_page(char* path, size_t room) {
  if (path[0] == '\0') return true;
  char converted[OPTION_PATH_ROOM];
  if (host_text_to_code_page(path, nullptr, converted, sizeof converted) == 0) return false;
  std::snprintf(path, room, "%s", converted);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Texts are shown in the terminal's encoding, which the locale names.
  setlocale(LC_CTYPE, "");
  UpdateOptions options;
  char error[OPTION_ERROR_ROOM];
  if (UpdateOptionsParse(argc - 1, argv + 1, &options, error) != 0 ||
      !to_code_page(options.folder, sizeof options.folder) ||
      !to_code_page(options.logPath, sizeof options.logPath)) {
    if (error[0] == '\0') std::snprintf(error, sizeof error, "a path the code page cannot spell");
    if (!UpdaterBadArguments(argc - 1, argv + 1, error)) std::fprintf(stderr, "velmor-update: %s\n", error);
    return EXIT_BAD_ARGUMENTS;
  }
  return UpdaterRun(nullptr, nullptr, SW_SHOWDEFAULT, options);
}
