#include "common/precise_sleep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>

namespace {

constexpr std::int64_t tick = 1'000;       // every clock read moves time on, so the spin ends
constexpr std::int64_t step = 1'500'000;  // what one "1 ms" step really takes

// Sleeps on the scripted clock; returns the time it took.
std::int64_t sleep_scripted(std::int32_t milliseconds, SleepStatistics& statistics, int& steps) {
  std::int64_t now = 0;
  precise_sleep_with(milliseconds, statistics, [&] { return now += tick; }, [&] {
    ++steps;
    now += step;
  });
  return now;
}

TEST(PreciseSleep, StepsWhileTheRestExceedsTheEstimateAndNeverEndsEarly) {
  // {milliseconds, fewest steps, most steps}: fresh statistics expect 5 ms a
  // step, so 5 ms are spun whole and 6 ms take a step.
  const int cases[][3] = {{0, 0, 0}, {-1, 0, 0}, {-1000, 0, 0}, {5, 0, 0}, {6, 1, 1}, {40, 11, 40}};
  for (const auto& [milliseconds, fewest_steps, most_steps] : cases) {
    SCOPED_TRACE(milliseconds);
    SleepStatistics statistics;
    int steps = 0;
    const std::int64_t elapsed = sleep_scripted(milliseconds, statistics, steps);
    EXPECT_GE(steps, fewest_steps);
    EXPECT_LE(steps, most_steps);
    const std::int64_t asked = std::max(milliseconds, 0) * std::int64_t{1'000'000};
    EXPECT_GE(elapsed, asked);
    EXPECT_LT(elapsed, asked + step);
    const SleepStatistics fresh;  // learnt nothing without a step
    if (steps == 0) {
      EXPECT_EQ(std::tie(statistics.count, statistics.mean, statistics.m2, statistics.estimate),
                std::tie(fresh.count, fresh.mean, fresh.m2, fresh.estimate));
    }
  }
}

TEST(PreciseSleep, FirstStepUpdatesTheStatisticsByWelford) {
  SleepStatistics statistics;
  int steps = 0;
  sleep_scripted(6, statistics, steps);
  ASSERT_EQ(steps, 1);
  const double observed = static_cast<double>(step + tick) / 1e9;
  const double mean = (0.005 + observed) / 2.0;
  EXPECT_EQ(statistics.count, 2u);
  EXPECT_DOUBLE_EQ(statistics.mean, mean);
  EXPECT_DOUBLE_EQ(statistics.m2, (observed - 0.005) * (observed - mean));
  EXPECT_DOUBLE_EQ(statistics.estimate, mean + std::sqrt(statistics.m2));
}

}  // namespace
