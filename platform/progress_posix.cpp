// The console stand-in's progress: "CAPTION 45%" redrawn in place on the output, only when it
// is a terminal, and wiped when the work ends.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/console_posix.h"
#include "platform/progress_pace.h"
#include "platform/win32_ui.h"

namespace {

ProgressPace g_pace;
std::string g_caption;
size_t g_shownWidth = 0;  // bytes of the line on screen; 0 when none is shown

}  // namespace

void UiProgressBegin(const char* captionBig5, int64_t total) {
  UiProgressEnd();
  FILE* out = console::output();
  if (out == nullptr || isatty(fileno(out)) == 0) return;
  g_caption = console::from_big5(captionBig5 != nullptr ? captionBig5 : "");
  g_pace.begin(total);
}

void UiProgressStep(int64_t units) {
  if (!g_pace.step(units)) return;
  const int permille = g_pace.permille();
  std::string line = "\r";  // appended piece by piece: GCC 12 -O3 misreads a + chain
  line += g_caption;
  line += ' ';
  line += std::to_string(permille / 10);
  line += '%';
  console::show_plain(line.c_str());
  g_shownWidth = line.size();
}

void UiProgressEnd() {
  if (g_shownWidth != 0) {
    std::string wipe(g_shownWidth + 2, ' ');
    wipe.front() = '\r';
    wipe.back() = '\r';
    console::show_plain(wipe.c_str());
  }
  g_shownWidth = 0;
  g_pace.end();
}
