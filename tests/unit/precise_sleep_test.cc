#include "common/precise_sleep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <cstdint>

#include "unit/scripted_clock.h"

namespace vove {

namespace {

constexpr std::int64_t tick = 1'000;      // every clock read moves time on, so the spin ends
constexpr std::int64_t step = 1'500'000;  // what one "1 ms" step really takes

// Fresh statistics expect 5 ms a step: 5 ms are spun whole, 6 ms take one
// step, and that step is learnt by Welford's update.
TEST(PreciseSleep, StepsOnlyWhenTheRestExceedsTheEstimateAndLearnsFromTheStep) {
  for (const std::int32_t milliseconds : {5, 6}) {
    SCOPED_TRACE(milliseconds);
    SleepStatistics statistics;
    int steps = 0;
    std::int64_t now = 0;
    precise_sleep_with(
        std::chrono::milliseconds{milliseconds}, statistics, [&] { return scripted_clock::at(now += tick); },
        [&] {
          ++steps;
          now += step;
        });
    EXPECT_GE(now, milliseconds * 1'000'000);
    EXPECT_EQ(steps, milliseconds - 5);
    if (steps == 0) {
      EXPECT_EQ(statistics.count, SleepStatistics{}.count);
      continue;
    }
    const double observed = static_cast<double>(step + tick) / 1e9;
    const double mean = (0.005 + observed) / 2.0;
    EXPECT_EQ(statistics.count, 2u);
    EXPECT_DOUBLE_EQ(statistics.mean, mean);
    EXPECT_DOUBLE_EQ(statistics.m2, (observed - 0.005) * (observed - mean));
    EXPECT_DOUBLE_EQ(statistics.estimate, mean + std::sqrt(statistics.m2));
  }
}

}  // namespace

}  // namespace vove
