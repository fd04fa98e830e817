// The library search restricted to the system folder: SetDefaultDllDirectories where the system
// has it, the current folder dropped from the older search order, and the libraries windows
// load on demand loaded from the system folder by full path first.
#include "platform/safe_dll_search.h"

#include <windows.h>

#include <string>

namespace {

// Loaded by name on demand by windows, dialogs and the folder browser (the common controls come
// from the side-by-side store that the manifest names, not from a search).
constexpr const char* ON_DEMAND_LIBRARIES[] = {
    "uxtheme.dll", "dwmapi.dll", "version.dll", "msimg32.dll", "cryptbase.dll", "userenv.dll",
};

// A kernel32 function that older systems lack, found at run time so the program still starts.
template <typename Function>
Function kernel32_function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  // Through the generic function pointer type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name)));
}

// A later load by name finds these already loaded. Needed where SetDefaultDllDirectories is
// missing, and where a loader resolves the delay-loaded imports of system libraries through the
// process's first search order whatever the default directories say (Wine does).
void preload_from_system_folder() {
  char folder[MAX_PATH] = "";
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (const char* name : ON_DEMAND_LIBRARIES) {
    LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
  }
}

}  // namespace

void RestrictDllSearchToSystem(ProgramKind kind) {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
  const auto setDefault =
      kernel32_function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The current folder out of the older search order, which applies where the call above is
  // missing.
  const auto setDllDirectory = kernel32_function<SetDllDirectoryFunction>("SetDllDirectoryA");
  if (setDllDirectory != nullptr) setDllDirectory("");
  if (kind == ProgramKind::Windowed) preload_from_system_folder();
}
