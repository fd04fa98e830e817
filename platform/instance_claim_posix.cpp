// The POSIX stand-in's single-instance claim: the main window's lock file is taken with one
// exclusive, non-waiting lock when the window is made, which already settles a race between
// two copies, so there is nothing more to claim here.
#include "platform/win32_ui.h"

bool UiClaimInstance(const char*) { return true; }
