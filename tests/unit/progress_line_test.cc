#include "common/progress_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "unit/scripted_clock.h"

namespace vove {

namespace {

TEST(ProgressLine, RedrawsInPlaceAFewTimesASecondAndClearsItself) {
  std::int64_t now = 0;
  std::ostringstream out;
  {
    ProgressLine line(out, true, scripted_clock::reading(now));
    line.update("00:01 frame 60");
    now += 100'000'000;
    line.update("00:01 frame 66");  // too soon: skipped
    line.update("paused", true);    // asked for at once: drawn, the longer text erased
    now += 300'000'000;
    line.update("00:02 frame 90");
    EXPECT_EQ(out.str(), "\r00:01 frame 60\rpaused        \rpaused\r00:02 frame 90");
  }
  EXPECT_EQ(out.str().substr(out.str().size() - 16), "\r" + std::string(14, ' ') + "\r");

  std::ostringstream quiet;
  {
    ProgressLine line(quiet, false, scripted_clock::reading(now));
    line.update("anything", true);
  }
  EXPECT_EQ(quiet.str(), "");
}

TEST(ProgressLine, ShowsNothingForWorkShorterThanTheDelay) {
  std::int64_t now = 0;
  std::ostringstream out;
  ProgressLine line(out, true, scripted_clock::reading(now));
  line.show_after(std::chrono::nanoseconds{1'000'000'000});
  now += 900'000'000;
  line.update("frame 10", true);
  line.clear();
  EXPECT_EQ(out.str(), "");
  now += 100'000'000;
  line.update("frame 11");
  EXPECT_EQ(out.str(), "\rframe 11");
}

}  // namespace

}  // namespace vove
