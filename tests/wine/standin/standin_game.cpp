// A stand-in for the running game in the Windows end-to-end tests: a tiny program that is
// copied in as Velmor.EXE and started from the game folder, so its image is mapped as a
// running game's is. It waits until the named event of its argument is set, or five minutes.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, commandLine);
  WaitForSingleObject(stop, 5 * 60 * 1000);
  return 0;
}
