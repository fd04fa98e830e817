// The message pump of the file library: handles what is waiting in the thread's queue and
// returns without waiting, so long work can keep windows answering between its steps.
#include "platform/file_dialog.h"

int pump_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) break;  // the quit message, now taken
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
