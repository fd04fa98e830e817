// When the progress display first shows: at once for a payload whose size alone takes about a
// second, otherwise only after a second of work; and the share done.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/progress_pace.h"

namespace {

TEST(ProgressPace, FirstDrawingBySizeOrTime) {
  const struct {
    int64_t total;
    bool drawnAtOnce;
  } cases[] = {
      {0, false},
      {1, false},
      {(int64_t(64) << 20) - 1, false},
      {int64_t(64) << 20, true},
      {int64_t(1) << 31, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.total);
    ProgressPace pace;
    EXPECT_FALSE(pace.step(1)) << "not begun";
    pace.begin(c.total);
    EXPECT_EQ(pace.step(1), c.drawnAtOnce);
    // A second drawing waits for the redraw interval.
    if (c.drawnAtOnce) {
      EXPECT_FALSE(pace.step(1));
    }
    pace.end();
    EXPECT_FALSE(pace.step(1)) << "ended";
  }
}

TEST(ProgressPace, ShareDoneInThousandths) {
  ProgressPace pace;
  pace.begin(2000);
  pace.step(500);
  EXPECT_EQ(pace.permille(), 250);
  pace.step(5000);
  EXPECT_EQ(pace.permille(), 1000);
  pace.begin(0);
  EXPECT_EQ(pace.permille(), 1000);
}

}  // namespace
