// Progress timing: the first drawing after a second of work, later ones at most ten a second.
#include "platform/progress_pace.h"

namespace {

constexpr auto kFirstShow = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

void ProgressPace::begin(int64_t total) {
  active_ = true;
  total_ = total > 0 ? total : 0;
  done_ = 0;
  start_ = Clock::now();
  drawn_ = false;
}

bool ProgressPace::step(int64_t units) {
  if (!active_) return false;
  if (units > 0) done_ += units;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kFirstShow || (drawn_ && now - lastDraw_ < kRedraw)) return false;
  drawn_ = true;
  lastDraw_ = now;
  return true;
}

int ProgressPace::permille() const {
  if (total_ <= 0 || done_ >= total_) return 1000;
  return int(done_ * 1000 / total_);
}
