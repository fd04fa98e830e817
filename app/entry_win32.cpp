// The updater's entry point on Windows: the GUI entry, handing everything to the start-up
// code shared with the other builds. The command line is not used.
#include "app/updater.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand) {
  return UpdaterMain(instance, previousInstance, showCommand);
}
