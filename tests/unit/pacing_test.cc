#include "common/pacing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t ms = 1'000'000;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t most = std::numeric_limits<std::int32_t>::max();

TEST(PeriodNanoseconds, TruncatesAndIsZeroForRatesThatCannotPace) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, std::int64_t>> cases{
      {60.0, 16'666'666}, {1.0, 1'000'000'000}, {0.0, 0}, {-5.0, 0}, {nan, 0}, {inf, 0}, {-inf, 0},
      {1e-300, std::numeric_limits<std::int64_t>::max()}};  // saturates instead of overflowing
  for (const auto& [rate, period] : cases) EXPECT_EQ(period_nanoseconds(rate), period) << rate;
}

// Each case runs the loop on a clock that moves only by the scripted work
// and by the sleeps, which the sleeper records.
struct LoopCase {
  const char* what;
  double rate;
  std::vector<std::int64_t> work;     // each iteration's duration; the last one leaves
  std::vector<std::int32_t> sleeps;   // what the sleeper is asked for
  int stop_at;                        // iteration whose work requests a stop; -1: before the loop
  std::int64_t overshoot;             // how far each sleep runs over
};

TEST(RunPacedLoop, SleepsWhatIsLeftOfEachPeriod) {
  const std::int64_t work = 2 * ms + ms / 2;
  const std::vector<LoopCase> cases{
      {"2.5 ms of work at 60 Hz; no sleep after leaving", 60, {work, work, work}, {14, 14}, 0, 0},
      {"an overshot sleep is not taken off the next period", 60, {work, work, work}, {14, 14}, 0, 3 * ms},
      {"no sleep when the work overruns", 60, {20 * ms, 20 * ms, 20 * ms}, {}, 0, 0},
      {"an overrun is not made up later", 60, {30 * ms, 2 * ms, 2 * ms}, {14}, 0, 0},
      {"a remainder below 1 ms sleeps 0", 60, {16'666'666 - ms / 2, 0}, {0}, 0, 0},
      {"rate 0 never sleeps", 0, {ms, ms, ms}, {}, 0, 0},
      {"a negative rate never sleeps", -1, {ms, ms, ms}, {}, 0, 0},
      {"a NaN rate never sleeps", nan, {ms, ms, ms}, {}, 0, 0},
      {"a huge period sleeps the most it can, never wraps", 1e-9, {0, 0}, {most}, 0, 0},
      {"a stop before the loop runs no work", 60, {ms, ms}, {}, -1, 0},
      {"a stop asked in the work ends the loop after its sleep", 60, {ms, ms, ms}, {15, 15}, 2, 0},
  };
  for (const LoopCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<bool> flag{c.stop_at < 0};
    std::int64_t now = 5'000 * ms;
    std::vector<std::int32_t> sleeps;
    std::size_t calls = 0;
    const bool left = run_paced_loop(
        StopSignal::watching(flag), c.rate, [&] { return now; },
        [&](std::int32_t asked) { sleeps.push_back(asked); now += asked * ms + c.overshoot; },
        [&] {
          now += c.work[calls++];
          if (static_cast<int>(calls) == c.stop_at) flag = true;
          return calls == c.work.size() ? Iteration::leave : Iteration::next;
        });
    EXPECT_EQ(left, c.stop_at == 0);
    EXPECT_EQ(calls, c.stop_at == 0 ? c.work.size() : static_cast<std::size_t>(std::max(c.stop_at, 0)));
    EXPECT_EQ(sleeps, c.sleeps);
  }
}

}  // namespace
