// Progress timing: the first drawing after a second of work, or at once for a payload so large
// that it takes about a second on any disk; later drawings at most ten a second.
#include "platform/progress_pace.h"

namespace {

constexpr auto kFirstShow = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(100);
// Stored bytes that take about a second to read, inflate and write even where the work is fast:
// the display comes at once, so whether it shows does not depend on the machine's speed.
constexpr int64_t kShowAtOnce = int64_t(64) << 20;

}  // namespace

void ProgressPace::begin(int64_t total) {
  active_ = true;
  total_ = total > 0 ? total : 0;
  done_ = 0;
  start_ = Clock::now();
  atOnce_ = total_ >= kShowAtOnce;
  drawn_ = false;
}

bool ProgressPace::step(int64_t units) {
  if (!active_) return false;
  if (units > 0) done_ += units;
  const Clock::time_point now = Clock::now();
  const bool due = drawn_ ? now - lastDraw_ >= kRedraw : atOnce_ || now - start_ >= kFirstShow;
  if (!due) return false;
  drawn_ = true;
  lastDraw_ = now;
  return true;
}

int ProgressPace::permille() const {
  if (total_ <= 0 || done_ >= total_) return 1000;
  return int(done_ * 1000 / total_);
}
