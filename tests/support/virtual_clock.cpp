// The virtual clock of the waits on a held file: its ticks and pause in the host table, and the
// steps planned for its moments.
#include "support/virtual_clock.h"

#include <gtest/gtest.h>

#include "host/host.h"
#include "support/host_override.h"

namespace {

VirtualClock* g_clock = nullptr;

}  // namespace

VirtualClock::VirtualClock() : savedTicks_(g_hostOps.ticks), savedPause_(g_hostOps.pause) {
  if (g_clock != nullptr) {
    ADD_FAILURE() << "a VirtualClock is already active; only one may live at a time";
    return;
  }
  g_clock = this;
  host_override(&HostOps::ticks, &VirtualClock::ticks);
  host_override(&HostOps::pause, &VirtualClock::pause);
}

VirtualClock::~VirtualClock() {
  if (g_clock != this) return;
  g_hostOps.ticks = savedTicks_;
  g_hostOps.pause = savedPause_;
  g_clock = nullptr;
}

void VirtualClock::at(uint32_t moment, std::function<void()> step) {
  planned_.push_back({moment, std::move(step)});
}

uint32_t VirtualClock::ticks() { return g_clock != nullptr ? g_clock->now_ : 0; }

void VirtualClock::pause(uint32_t milliseconds) {
  if (g_clock == nullptr) return;
  g_clock->now_ += milliseconds;
  ++g_clock->pauses_;
  // Steps due run in the order planned; each runs once.
  std::vector<Planned> due;
  auto& planned = g_clock->planned_;
  for (auto it = planned.begin(); it != planned.end();) {
    if (it->moment <= g_clock->now_) {
      due.push_back(std::move(*it));
      it = planned.erase(it);
    } else {
      ++it;
    }
  }
  for (Planned& p : due) p.step();
}
