#include "common/pacing.h"

#include "common/frame_schedule.h"
#include "unit/scripted_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

namespace vove {

namespace {

using scripted_clock::at;

constexpr std::int64_t ms = 1'000'000;

// The loop runs on a clock that moves only by the scripted work and by the
// sleeps, which are recorded.
TEST(RunPacedLoop, SleepsWhatIsLeftOfEachPeriod) {
  const std::int64_t work = 2 * ms + ms / 2;
  const struct {
    const char* what;
    double rate;
    std::vector<std::int64_t> work;    // each iteration's duration; the last one leaves
    std::vector<std::int32_t> sleeps;  // what the sleeper is asked for
    int stop_at;                       // iteration whose work requests a stop; -1: before the loop
  } cases[] = {
      {"2.5 ms of work at 60 Hz; no sleep after leaving", 60, {work, work, work}, {14, 14}, 0},
      {"no sleep when the work overruns", 60, {20 * ms, 20 * ms}, {}, 0},
      {"rate 0 never sleeps", 0, {ms, ms}, {}, 0},
      {"a negative rate never sleeps", -1, {ms, ms}, {}, 0},
      {"a stop before the loop runs no work", 60, {ms, ms}, {}, -1},
      {"a stop asked in the work ends the loop after its sleep", 60, {ms, ms, ms}, {15, 15}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<bool> flag{c.stop_at < 0};
    std::int64_t now = 5'000 * ms;
    std::vector<std::int32_t> sleeps;
    std::size_t calls = 0;
    const bool left = run_paced_loop(
        StopSignal::watching(flag), c.rate, scripted_clock::reading(now),
        [&](std::chrono::milliseconds asked) {
          sleeps.push_back(static_cast<std::int32_t>(asked.count()));
          now += asked.count() * ms;
        },
        [&] {
          now += c.work[calls++];
          if (static_cast<int>(calls) == c.stop_at) flag = true;
          return calls == c.work.size() ? Iteration::leave : Iteration::next;
        });
    EXPECT_EQ(left, c.stop_at == 0);
    EXPECT_EQ(calls, c.stop_at == 0 ? c.work.size() : static_cast<std::size_t>(c.stop_at < 0 ? 0 : c.stop_at));
    EXPECT_EQ(sleeps, c.sleeps);
  }
}

// The recorder's view of a stall: the deadlines wholly gone by are counted
// and the newest one not after now becomes due, whatever the clock's values.
TEST(FrameSchedule, CountsTheDeadlinesAStallWentPast) {
  constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max();
  using std::chrono::nanoseconds;
  FrameSchedule schedule(nanoseconds{16'666'666}, at(0));
  EXPECT_EQ(schedule.skip_missed(at(16'666'665)), 0u) << "the due frame is not a period behind";
  EXPECT_EQ(schedule.due(), at(0));
  EXPECT_EQ(schedule.skip_missed(at(50 * ms)), 3u);  // 0, 16.7 and 33.3 went by; 50.0 is due
  EXPECT_EQ(schedule.due(), at(49'999'998));
  schedule.advance();
  EXPECT_EQ(schedule.due(), at(66'666'664));

  FrameSchedule extremes(nanoseconds{1}, at(-limit - 1));
  EXPECT_EQ(extremes.skip_missed(at(limit)), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(extremes.due(), at(limit));
  extremes.advance();
  EXPECT_EQ(extremes.due(), at(limit)) << "saturates";
  EXPECT_EQ(FrameSchedule(nanoseconds{0}, at(0)).skip_missed(at(limit)), 0u)
      << "a rate of 0 never waits, so misses nothing";
}

}  // namespace

}  // namespace vove
