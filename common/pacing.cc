#include "common/pacing.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace vove {

std::chrono::nanoseconds period_of_rate(double rate) noexcept {
  if (!(rate > 0.0) || !std::isfinite(rate)) return std::chrono::nanoseconds::zero();
  const double period = (1.0 / rate) * 1e9;
  // A vanishing rate gives a period beyond any int64; converting such a
  // double would be undefined, so it saturates instead.
  constexpr double limit = 9.2e18;
  if (!(period < limit)) return std::chrono::nanoseconds::max();
  return std::chrono::nanoseconds{static_cast<std::int64_t>(period)};
}

namespace {

// The whole milliseconds left of the period, saturated to an int32 count so
// that a huge period asks for no more than the sleepers have always taken.
std::chrono::milliseconds milliseconds_left(std::chrono::nanoseconds left) noexcept {
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(left);
  constexpr std::chrono::milliseconds most{std::numeric_limits<std::int32_t>::max()};
  return milliseconds < most ? milliseconds : most;
}

}  // namespace

bool run_paced_loop(const StopSignal& stop, double rate, const SteadyClock& clock, const Sleeper& sleeper,
                    const std::function<Iteration()>& work) {
  const std::chrono::nanoseconds period = period_of_rate(rate);
  SteadyTime start = clock.now();
  if (stop.stop_requested()) return false;
  for (;;) {
    if (work() == Iteration::leave) return true;
    const std::chrono::nanoseconds elapsed = clock.now() - start;
    // An overrun is not made up later: the next period starts after this point.
    if (elapsed < period) sleeper(milliseconds_left(period - elapsed));
    start = clock.now();
    if (stop.stop_requested()) return false;
  }
}

}  // namespace vove
