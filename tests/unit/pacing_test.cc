#include "common/pacing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr std::int64_t millisecond = 1'000'000;

// A clock that moves only when the work or the sleeper moves it, and a
// sleeper that records what it was asked for.
struct ScriptedTime {
  std::int64_t now = 5'000 * millisecond;
  std::int64_t sleep_overshoot = 0;
  std::vector<std::int32_t> sleeps;
  int clock_reads = 0;

  SteadyClock clock() {
    return [this] {
      ++clock_reads;
      return now;
    };
  }
  Sleeper sleeper() {
    return [this](std::int32_t milliseconds) {
      sleeps.push_back(milliseconds);
      now += milliseconds * millisecond + sleep_overshoot;
    };
  }
};

// Work that takes `duration` of scripted time and leaves after `iterations`.
std::function<Iteration()> timed_work(ScriptedTime& time, std::int64_t duration, int iterations,
                                      int& calls) {
  return [&time, duration, iterations, &calls] {
    ++calls;
    time.now += duration;
    return calls >= iterations ? Iteration::leave : Iteration::next;
  };
}

TEST(PeriodNanoseconds, TruncatesToWholeNanoseconds) {
  EXPECT_EQ(period_nanoseconds(60.0), 16'666'666);
  EXPECT_EQ(period_nanoseconds(1.0), 1'000'000'000);
  EXPECT_EQ(period_nanoseconds(5.0), 200'000'000);
}

TEST(PeriodNanoseconds, IsZeroForRatesThatCannotPace) {
  EXPECT_EQ(period_nanoseconds(0.0), 0);
  EXPECT_EQ(period_nanoseconds(-5.0), 0);
  EXPECT_EQ(period_nanoseconds(std::nan("")), 0);
  EXPECT_EQ(period_nanoseconds(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(period_nanoseconds(-std::numeric_limits<double>::infinity()), 0);
}

TEST(PeriodNanoseconds, SaturatesForVanishingRates) {
  EXPECT_EQ(period_nanoseconds(1e-300), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(period_nanoseconds(std::numeric_limits<double>::denorm_min()),
            std::numeric_limits<std::int64_t>::max());
}

class PacedLoop : public ::testing::Test {
 protected:
  std::atomic<bool> flag{false};
  StopSignal stop = StopSignal::watching(flag);
  ScriptedTime time;
  int calls = 0;
};

TEST_F(PacedLoop, SleepsTheWholeMillisecondsLeftOfThePeriod) {
  // 16 666 666 - 2 500 000 = 14 166 666 ns.
  EXPECT_TRUE(run_paced_loop(stop, 60.0, time.clock(), time.sleeper(),
                             timed_work(time, 2'500'000, 3, calls)));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{14, 14}));
}

TEST_F(PacedLoop, MeasuresEachPeriodFromTheEndOfTheSleep) {
  // An overshooting sleep lengthens its own iteration only: nothing is
  // taken off the next one.
  time.sleep_overshoot = 3 * millisecond;
  run_paced_loop(stop, 60.0, time.clock(), time.sleeper(), timed_work(time, 2'500'000, 4, calls));
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{14, 14, 14}));
}

TEST_F(PacedLoop, DoesNotSleepWhenTheWorkOverruns) {
  EXPECT_TRUE(run_paced_loop(stop, 60.0, time.clock(), time.sleeper(),
                             timed_work(time, 20 * millisecond, 3, calls)));
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(time.sleeps.empty());
}

TEST_F(PacedLoop, AnOverrunIsNotMadeUpLater) {
  std::vector<std::int64_t> durations{30 * millisecond, 2 * millisecond, 2 * millisecond};
  run_paced_loop(stop, 60.0, time.clock(), time.sleeper(), [&] {
    time.now += durations[static_cast<std::size_t>(calls)];
    return ++calls == 3 ? Iteration::leave : Iteration::next;
  });
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{14}));
}

TEST_F(PacedLoop, ARemainderBelowOneMillisecondSleepsZero) {
  run_paced_loop(stop, 60.0, time.clock(), time.sleeper(),
                 timed_work(time, 16'666'666 - 500'000, 2, calls));
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{0}));
}

TEST_F(PacedLoop, AStopBeforeTheFirstIterationRunsNoWork) {
  flag = true;
  EXPECT_FALSE(run_paced_loop(stop, 60.0, time.clock(), time.sleeper(),
                              timed_work(time, millisecond, 5, calls)));
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(time.sleeps.empty());
}

TEST_F(PacedLoop, ChecksTheStopAfterTheSleepNotBefore) {
  // Requested during the work: the iteration still sleeps, then the loop ends.
  const bool left = run_paced_loop(stop, 60.0, time.clock(), time.sleeper(), [&] {
    ++calls;
    time.now += millisecond;
    flag = true;
    return Iteration::next;
  });
  EXPECT_FALSE(left);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{15}));
}

TEST_F(PacedLoop, ChecksTheStopAfterEverySleep) {
  const Sleeper stopping_sleeper = [&](std::int32_t milliseconds) {
    time.sleeps.push_back(milliseconds);
    if (time.sleeps.size() == 2) flag = true;
  };
  EXPECT_FALSE(run_paced_loop(stop, 60.0, time.clock(), stopping_sleeper,
                              timed_work(time, millisecond, 10, calls)));
  EXPECT_EQ(calls, 2);
}

TEST_F(PacedLoop, LeavingFromTheWorkSkipsTheSleep) {
  EXPECT_TRUE(run_paced_loop(stop, 60.0, time.clock(), time.sleeper(),
                             timed_work(time, millisecond, 1, calls)));
  EXPECT_TRUE(time.sleeps.empty());
}

TEST_F(PacedLoop, ZeroOrNegativeRateNeverSleeps) {
  for (const double rate : {0.0, -1.0, std::nan("")}) {
    calls = 0;
    EXPECT_TRUE(run_paced_loop(stop, rate, time.clock(), time.sleeper(),
                               timed_work(time, millisecond, 3, calls)));
    EXPECT_EQ(calls, 3);
  }
  EXPECT_TRUE(time.sleeps.empty());
}

TEST_F(PacedLoop, AHugePeriodSleepsTheLongestCountInsteadOfWrapping) {
  run_paced_loop(stop, 1e-9, time.clock(), time.sleeper(), timed_work(time, 0, 2, calls));
  EXPECT_EQ(time.sleeps, (std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::max()}));
}

TEST(SteadyNow, NeverGoesBackwards) {
  const std::int64_t first = steady_now();
  EXPECT_GE(steady_now(), first);
}

}  // namespace
