// Steady clocks for tests that script time as a count of nanoseconds.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/steady_clock.h"

namespace vove::scripted_clock {

// The clock value `nanoseconds` after the clock's epoch.
inline SteadyTime at(std::int64_t nanoseconds) { return SteadyTime{std::chrono::nanoseconds{nanoseconds}}; }

// Reads `now`, which the test moves on; `now` must outlive the clock.
inline SteadyClock reading(const std::int64_t& now) {
  return [&now] { return at(now); };
}

}  // namespace vove::scripted_clock
