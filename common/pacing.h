// Fixed-rate pacing shared by every loop that runs at a rate: the
// connection poll, the recording loop and the replay loop.
//
// Clock and sleeper are parameters so the loops can be driven by a scripted
// clock and a recording sleeper in tests; the programs pass the system's
// steady clock and precise_sleep.
#pragma once

#include <chrono>
#include <functional>

#include "common/steady_clock.h"
#include "common/stop_signal.h"

namespace vove {

// Blocks for a count of milliseconds.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

// The loop period for `rate` hertz, truncated to whole nanoseconds; 0 (never
// sleep) for a rate that is zero, negative or not a number.
std::chrono::nanoseconds period_of_rate(double rate) noexcept;

enum class Iteration { next, leave };

// Runs `work` at `rate` hertz until it returns Iteration::leave (result
// true) or a stop is requested (result false). The stop is checked before
// the first iteration and after each pacing sleep; the sleeper gets the
// whole milliseconds left of the period (at most what an int32 holds) and
// is not called when the work overran it. Each period is measured from the
// end of the previous sleep.
bool run_paced_loop(const StopSignal& stop, double rate, const SteadyClock& clock, const Sleeper& sleeper,
                    const std::function<Iteration()>& work);

}  // namespace vove
