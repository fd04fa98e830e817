// A clock for the waits on a held file that moves on at each pause without waiting: while a
// VirtualClock lives, the host table's ticks and pause are its own, so a test sees a whole
// patience pass at once and can let a hold go at a chosen moment of it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class VirtualClock {
 public:
  // Serves g_hostOps.ticks and pause from now on; one at a time.
  VirtualClock();
  // Puts back the ticks and pause it found.
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  // Milliseconds since the clock was made.
  uint32_t now() const { return now_; }
  // Pauses taken so far.
  int pauses() const { return pauses_; }
  // Runs step once, in the first pause that brings the clock to moment or past it.
  void at(uint32_t moment, std::function<void()> step);

 private:
  static uint32_t ticks();
  static void pause(uint32_t milliseconds);

  struct Planned {
    uint32_t moment;
    std::function<void()> step;
  };
  uint32_t (*savedTicks_)();
  void (*savedPause_)(uint32_t);
  uint32_t now_ = 0;
  int pauses_ = 0;
  std::vector<Planned> planned_;
};
