#include "tools/sim_standin/standin_timeline.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "common/platform/platform.h"
#include "tools/sim_standin/standin_schedule.h"

namespace vove {

namespace {

using std::chrono::nanoseconds;

constexpr nanoseconds longest_wait = std::chrono::milliseconds{50};
// Behind by more than this, the schedule restarts from now.
constexpr nanoseconds largest_lag = std::chrono::milliseconds{100};

}  // namespace

void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher) {
  // A plain thread sleep: the stand-in's updates need not be exact, and a
  // busy-waiting sleep would take processor time from the programs it is
  // there to exercise.
  run_standin_timeline(options, stop, publisher, SteadyClock{}, platform::sleep_for);
}

void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher,
                          const SteadyClock& clock, const Sleeper& sleeper) {
  const nanoseconds period = std::max(nanoseconds{1}, period_of_rate(options.rate_hz));
  const SteadyTime start = clock.now();
  SteadyTime next_update = start;
  int run = 0;
  bool paused = false;

  while (!stop.requested()) {
    const SteadyTime now = clock.now();
    const StandinMoment moment = standin_moment(options, std::chrono::duration<double>(now - start).count());
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

    nanoseconds wait = longest_wait;
    if (moment.phase == StandinPhase::paused) {
      if (!paused) publisher.pause();
      paused = true;
    } else {
      if (now >= next_update) {
        publisher.produce();
        next_update += period;
        if (now - next_update > largest_lag) next_update = now + period;
      }
      wait = std::min(wait, next_update - clock.now());
    }
    // Rounded up to whole milliseconds: never a spinning zero-length sleep,
    // and a late wake-up only shortens the next wait.
    if (wait > nanoseconds::zero()) sleeper(std::chrono::ceil<std::chrono::milliseconds>(wait));
  }
}

}  // namespace vove
