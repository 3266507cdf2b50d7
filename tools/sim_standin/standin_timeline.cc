#include "tools/sim_standin/standin_timeline.h"

#include <algorithm>

#include "common/platform/platform.h"
#include "tools/sim_standin/standin_schedule.h"

namespace {

constexpr std::int64_t nanoseconds_per_millisecond = 1'000'000;
constexpr std::int64_t longest_wait = 50 * nanoseconds_per_millisecond;
// Behind by more than this, the schedule restarts from now.
constexpr std::int64_t largest_lag = 100 * nanoseconds_per_millisecond;

}  // namespace

void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher) {
  // A plain thread sleep: the stand-in's updates need not be exact, and a
  // busy-waiting sleep would take processor time from the programs it is
  // there to exercise.
  run_standin_timeline(options, stop, publisher, steady_now,
                       [](std::int32_t milliseconds) { platform::sleep_milliseconds(milliseconds); });
}

void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher,
                          const SteadyClock& clock, const Sleeper& sleeper) {
  const std::int64_t period = std::max<std::int64_t>(1, period_nanoseconds(options.rate_hz));
  const std::int64_t start = clock();
  std::int64_t next_update = start;
  int run = 0;
  bool paused = false;

  while (!stop.requested()) {
    const std::int64_t now = clock();
    const StandinMoment moment = standin_moment(options, static_cast<double>(now - start) / 1e9);
    if (moment.phase == StandinPhase::finished) return;
    if (moment.run != run) {
      // With a long period the whole pause may fall between two updates;
      // consumers must still see the pause before the restart.
      if (!paused) publisher.pause();
      publisher.resume();
      paused = false;
      run = moment.run;
      next_update = now;
    }

    std::int64_t wait = longest_wait;
    if (moment.phase == StandinPhase::paused) {
      if (!paused) publisher.pause();
      paused = true;
    } else {
      if (now >= next_update) {
        publisher.produce();
        next_update += period;
        if (now - next_update > largest_lag) next_update = now + period;
      }
      wait = std::min(wait, next_update - clock());
    }
    // Rounded up to whole milliseconds: never a spinning zero-length sleep,
    // and a late wake-up only shortens the next wait.
    if (wait > 0) {
      sleeper(static_cast<std::int32_t>((wait + nanoseconds_per_millisecond - 1) / nanoseconds_per_millisecond));
    }
  }
}
