// The loop both publishers share: it follows the timeline of
// standin_schedule.h and tells the publisher when to produce, pause and
// resume, producing at the chosen rate on average.
#pragma once

#include <cstdint>

#include "common/pacing.h"
#include "tools/sim_standin/standin_options.h"

namespace vove {

class TimelinePublisher {
 public:
  virtual void produce() = 0;  // one update while producing
  virtual void pause() = 0;    // production stops (called once per pause)
  virtual void resume() = 0;   // production starts again after a pause
 protected:
  ~TimelinePublisher() = default;
};

// Runs until the timeline ends or a stop is requested, with the steady
// clock and the platform's thread sleep.
void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher);

// The same with the clock and the sleeper given. Updates are due at fixed
// points (start + n / rate), so the rate holds on average even where one
// period is below the sleeper's millisecond grain; a schedule left far
// behind (the process was stopped) is given up rather than caught up in a
// burst. The loop wakes at least every 50 ms, so stop requests and the
// timeline's changes are seen promptly at any rate.
void run_standin_timeline(const StandinOptions& options, const StandinStop& stop, TimelinePublisher& publisher,
                          const SteadyClock& clock, const Sleeper& sleeper);

}  // namespace vove
