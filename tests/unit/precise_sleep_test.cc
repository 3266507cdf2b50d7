#include "common/precise_sleep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

// Every clock read moves scripted time on by `tick` (so the busy-wait ends),
// and every one-millisecond step by `step`.
struct ScriptedSleep {
  std::int64_t now = 1'000'000'000;
  std::int64_t tick = 1'000;
  std::int64_t step = 1'500'000;
  int steps = 0;

  SteadyClock clock() {
    return [this] {
      const std::int64_t read = now;
      now += tick;
      return read;
    };
  }
  std::function<void()> sleep_step() {
    return [this] {
      ++steps;
      now += step;
    };
  }
};

void expect_fresh(const SleepStatistics& statistics) {
  EXPECT_EQ(statistics.count, 1u);
  EXPECT_EQ(statistics.mean, 0.005);
  EXPECT_EQ(statistics.estimate, 0.005);
  EXPECT_EQ(statistics.m2, 0.0);
}

TEST(PreciseSleep, ZeroOrNegativeTakesNoStepAndLearnsNothing) {
  for (const std::int32_t milliseconds : {0, -1, -1000}) {
    ScriptedSleep script;
    SleepStatistics statistics;
    const std::int64_t start = script.now;
    precise_sleep_with(milliseconds, statistics, script.clock(), script.sleep_step());
    EXPECT_EQ(script.steps, 0);
    expect_fresh(statistics);
    EXPECT_EQ(script.now - start, 2 * script.tick) << "one clock read, one comparison";
  }
}

TEST(PreciseSleep, FreshStatisticsBusyWaitFiveMilliseconds) {
  ScriptedSleep script;
  SleepStatistics statistics;
  const std::int64_t start = script.now;
  precise_sleep_with(5, statistics, script.clock(), script.sleep_step());
  EXPECT_EQ(script.steps, 0);
  expect_fresh(statistics);
  EXPECT_GE(script.now - start, 5'000'000);
}

TEST(PreciseSleep, FreshStatisticsStepForSixMilliseconds) {
  ScriptedSleep script;
  SleepStatistics statistics;
  precise_sleep_with(6, statistics, script.clock(), script.sleep_step());
  EXPECT_GE(script.steps, 1);
}

TEST(PreciseSleep, FirstStepUpdatesTheStatisticsByWelford) {
  ScriptedSleep script;
  SleepStatistics statistics;
  // 6 ms: one 1.5 ms step leaves 4.5 ms, below the new estimate.
  precise_sleep_with(6, statistics, script.clock(), script.sleep_step());
  ASSERT_EQ(script.steps, 1);

  const double observed = static_cast<double>(script.step + script.tick) / 1e9;
  const double mean = (0.005 + observed) / 2.0;
  EXPECT_EQ(statistics.count, 2u);
  EXPECT_DOUBLE_EQ(statistics.mean, mean);
  EXPECT_DOUBLE_EQ(statistics.m2, (observed - 0.005) * (observed - mean));
  EXPECT_DOUBLE_EQ(statistics.estimate, mean + std::sqrt(statistics.m2 / 1.0));
}

TEST(PreciseSleep, EndsNoEarlierThanAsked) {
  ScriptedSleep script;
  SleepStatistics statistics;
  const std::int64_t start = script.now;
  precise_sleep_with(40, statistics, script.clock(), script.sleep_step());
  EXPECT_GT(script.steps, 10);
  EXPECT_GE(script.now - start, 40'000'000);
  // The steps stop once the estimate covers the rest; the spin does the rest.
  EXPECT_LT(script.now - start, 40'000'000 + script.step);
}

TEST(PreciseSleep, CarriesStatisticsFromCallToCall) {
  ScriptedSleep script;
  SleepStatistics statistics;
  precise_sleep_with(20, statistics, script.clock(), script.sleep_step());
  const std::uint64_t after_first = statistics.count;
  precise_sleep_with(20, statistics, script.clock(), script.sleep_step());
  EXPECT_GT(statistics.count, after_first);
  EXPECT_NEAR(statistics.mean, 0.0015, 0.001);
}

TEST(PreciseSleep, ProcessStatisticsIgnoreZeroAndNegative) {
  const SleepStatistics before = precise_sleep_statistics();
  precise_sleep(0);
  precise_sleep(-20);
  const SleepStatistics after = precise_sleep_statistics();
  EXPECT_EQ(after.count, before.count);
  EXPECT_EQ(after.mean, before.mean);
  EXPECT_EQ(after.estimate, before.estimate);
}

}  // namespace
