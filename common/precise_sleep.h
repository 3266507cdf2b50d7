// A millisecond sleep that ends close to its deadline: it sleeps in 1 ms
// steps while the time left clearly exceeds what such a step is expected to
// take, learns from each step how long one really lasts, and busy-waits
// for the rest.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "common/steady_clock.h"

namespace vove {

// What precise_sleep has learnt of 1 ms sleep steps (seconds; Welford's
// running mean and sum of squared deviations). The start values count as
// one observation.
struct SleepStatistics {
  double estimate = 0.005;  // mean plus one standard deviation
  double mean = 0.005;
  double m2 = 0.0;
  std::uint64_t count = 1;
};

// Sleeps about `duration` with the process-wide statistics, the steady
// clock and the thread sleep. 0 or less returns at once.
void precise_sleep(std::chrono::milliseconds duration);

// The process-wide statistics, as precise_sleep has left them.
SleepStatistics precise_sleep_statistics();

// The algorithm over explicit statistics, clock and one-millisecond sleep.
void precise_sleep_with(std::chrono::milliseconds duration, SleepStatistics& statistics, const SteadyClock& clock,
                        const std::function<void()>& sleep_one_millisecond);

}  // namespace vove
