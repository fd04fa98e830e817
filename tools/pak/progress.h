// Progress of long work on the terminal: "LABEL: 12.0 MiB of 256.0 MiB (4%)" redrawn in place
// on the message stream, only when it goes to a terminal and only once the work has taken
// about a second; the line is cleared when the work ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tools/pak/tool_io.h"

class Progress {
 public:
  Progress(ToolIo& io, std::string label, int64_t total,
           std::chrono::milliseconds firstShow = std::chrono::seconds(1));
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(int64_t bytes);

 private:
  using Clock = std::chrono::steady_clock;
  void draw(Clock::time_point now);

  ToolIo& io_;
  std::string label_;
  int64_t total_;
  int64_t done_ = 0;
  Clock::time_point start_;
  std::chrono::milliseconds firstShow_;
  Clock::time_point lastDraw_;
  size_t shownWidth_ = 0;  // characters of the line on screen, 0 when none is shown
};
