// The shell's folder browser for the game-folder choice: file-system folders only, the prompt
// shown through the wide call, an edit box for a path typed in (a network share that the
// elevated updater's tree does not show, as a mapped drive of the player's), and the chosen path
// handed back in the ANSI code page that the 8-bit file calls use (a path that page cannot
// spell is refused).
#include <objbase.h>

#include "platform/big5_text_win32.h"
#include "platform/win32_ui.h"

int BrowseForFolder(HWND owner, char* path, size_t room, const char* promptBig5) {
  if (path == nullptr || room == 0) return 0;
  // The browser needs COM on this thread; a thread that has it already keeps it.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const WideText prompt(promptBig5);
  wchar_t displayName[MAX_PATH] = L"";
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = prompt.ok() ? prompt.get() : L"";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  info.lpfn = nullptr;
  info.lParam = 0;

  int chosen = 0;
  LPITEMIDLIST list = SHBrowseForFolderW(&info);
  if (list != nullptr) {
    wchar_t folder[MAX_PATH] = L"";
    if (SHGetPathFromIDListW(list, folder) && WideToAnsiPath(folder, path, room)) chosen = 1;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(CoGetMalloc(1, &allocator))) {
      allocator->Free(list);
      allocator->Release();
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}
