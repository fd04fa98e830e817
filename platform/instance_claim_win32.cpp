// The Windows half of the single-instance guard that the window test alone cannot give: a named
// mutex made before the test. The first copy makes it; every later one finds it already there.
#include "platform/big5_text_win32.h"
#include "platform/win32_ui.h"

bool UiClaimInstance(const char* name) {
  const WideText wide(name);
  const HANDLE mutex = wide.ok() ? CreateMutexW(nullptr, FALSE, wide.get())
                                 : CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;  // made by a copy of another user
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  return true;  // kept open until the process ends
}
