// The updater's entry point on Windows: the GUI entry, which restricts the library search
// and hands everything to the start-up code shared with the other builds. The command line is
// not used.
#include "app/updater.h"
#include "platform/safe_dll_search.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand) {
  // It runs as administrator, often from Downloads: nothing may load from there.
  RestrictDllSearchToSystem(ProgramKind::Windowed);
  return UpdaterMain(instance, previousInstance, showCommand);
}
