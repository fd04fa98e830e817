// When a progress display shows itself and redraws: the shared timing of the window and the
// terminal line, so both appear only for work that takes about a second and redraw sparingly.
#pragma once

#include <chrono>
#include <cstdint>

class ProgressPace {
 public:
  using Clock = std::chrono::steady_clock;

  void begin(int64_t total);
  void end() { active_ = false; }
  bool active() const { return active_; }
  // Counts units done; true when the display should be drawn now (the work has run about a
  // second, or its total alone will take that long, and the last drawing is old enough).
  bool step(int64_t units);
  // Done so far, in thousandths of the total.
  int permille() const;

 private:
  bool active_ = false;
  int64_t total_ = 0;
  int64_t done_ = 0;
  Clock::time_point start_{};
  Clock::time_point lastDraw_{};
  bool atOnce_ = false;
  bool drawn_ = false;
};
