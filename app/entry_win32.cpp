// The updater's entry point on Windows: the GUI entry, which restricts the library search,
// reads the options (see update_options.h) in the ANSI code page, and hands everything to the
// start-up code shared with the other builds. Without arguments it runs as always.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>

#include "app/exit_code.h"
#include "app/texts.h"
#include "app/update_options.h"
#include "app/updater.h"
#include "platform/safe_dll_search.h"

namespace {

constexpr int kMaxArguments = 16;
constexpr size_t kArgumentRoom = OPTION_PATH_ROOM + 16;

// "無效的參數：" (invalid argument:) in Big5, followed by the argument.
constexpr char TEXT_BAD_ARGUMENT[] = "\xb5\x4c\xae\xc4\xaa\xba\xb0\xd1\xbc\xc6\xa1\x47";

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand) {
  // It runs as administrator, often from Downloads: nothing may load from there.
  RestrictDllSearchToSystem(ProgramKind::Windowed);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  static char texts[kMaxArguments][kArgumentRoom];
  const char* arguments[kMaxArguments];
  int given = 0;
  bool spelled = true;
  for (int i = 1; wide != nullptr && i < count; ++i) {
    if (given == kMaxArguments) {
      spelled = false;
      break;
    }
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide[i], -1, texts[given],
                                      int(kArgumentRoom), nullptr, &lossy);
    if (n <= 0 || lossy) spelled = false;
    arguments[given] = texts[given];
    ++given;
  }
  if (wide != nullptr) LocalFree(wide);

  UpdateOptions options;
  char error[OPTION_ERROR_ROOM];
  if (!spelled || UpdateOptionsParse(given, arguments, &options, error) != 0) {
    if (!spelled) lstrcpynA(error, "an argument the code page cannot spell, or too many", sizeof error);
    if (!UpdaterBadArguments(given, arguments, error)) {
      char text[sizeof TEXT_BAD_ARGUMENT + OPTION_ERROR_ROOM];
      std::memcpy(text, TEXT_BAD_ARGUMENT, sizeof TEXT_BAD_ARGUMENT);
      lstrcpynA(text + sizeof TEXT_BAD_ARGUMENT - 1, error, OPTION_ERROR_ROOM);
      UiMessageBox(nullptr, text, TEXT_TITLE, MB_OK | MB_TASKMODAL);
    }
    return EXIT_BAD_ARGUMENTS;
  }
  return UpdaterRun(instance, previousInstance, showCommand, options);
}
