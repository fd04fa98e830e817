// The updater's entry point on POSIX systems: a console program whose dialogs are answered on
// the terminal. Takes no arguments and always exits with 0.
#include <clocale>

#include "app/updater.h"

int main() {
  // Texts are shown in the terminal's encoding, which the locale names.
  setlocale(LC_CTYPE, "");
  UpdaterMain(nullptr, nullptr, SW_SHOWDEFAULT);
  return 0;
}
