// Terminal progress line: throttled redraws in place, nothing at all for short work or when
// messages do not go to a terminal.
#include "tools/pak/progress.h"

#include <cstdio>

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(100);

std::string mebibytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

Progress::Progress(ToolIo& io, std::string label, int64_t total,
                   std::chrono::milliseconds firstShow)
    : io_(io), label_(std::move(label)), total_(total), start_(Clock::now()), firstShow_(firstShow) {}

Progress::~Progress() {
  if (shownWidth_ == 0) return;
  io_.err << '\r' << std::string(shownWidth_, ' ') << '\r';
  io_.err.flush();
}

void Progress::advance(int64_t bytes) {
  done_ += bytes;
  if (!io_.progress) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < firstShow_ || (shownWidth_ != 0 && now - lastDraw_ < kRedraw)) return;
  draw(now);
}

void Progress::draw(Clock::time_point now) {
  const int percent = total_ > 0 ? int(done_ * 100 / total_) : 100;
  std::string line =
      label_ + ": " + mebibytes(done_) + " of " + mebibytes(total_) + " (" +
      std::to_string(percent) + "%)";
  const size_t width = line.size();
  if (width < shownWidth_) line.append(shownWidth_ - width, ' ');
  io_.err << '\r' << line;
  io_.err.flush();
  shownWidth_ = width > shownWidth_ ? width : shownWidth_;
  lastDraw_ = now;
}
