#include "common/pacing.h"

#include <chrono>
#include <cmath>
#include <limits>

std::int64_t steady_now() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t period_nanoseconds(double rate) noexcept {
  if (!(rate > 0.0) || !std::isfinite(rate)) return 0;
  const double period = (1.0 / rate) * 1e9;
  // A vanishing rate gives a period beyond any int64; converting such a
  // double would be undefined, so it saturates instead.
  constexpr double limit = 9.2e18;
  if (!(period < limit)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(period);
}

namespace {

// The whole milliseconds left of the period, saturated to what the sleeper
// takes so a huge period never wraps into a negative (no-op) sleep.
std::int32_t milliseconds_left(std::int64_t nanoseconds) noexcept {
  const std::int64_t milliseconds = nanoseconds / 1'000'000;
  constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(milliseconds < most ? milliseconds : most);
}

}  // namespace

bool run_paced_loop(const StopSignal& stop, double rate, const SteadyClock& clock,
                    const Sleeper& sleeper, const std::function<Iteration()>& work) {
  const std::int64_t period = period_nanoseconds(rate);
  std::int64_t start = clock();
  if (stop.stop_requested()) return false;
  for (;;) {
    if (work() == Iteration::leave) return true;
    const std::int64_t elapsed = clock() - start;
    // An overrun is not made up later: the next period starts after this point.
    if (elapsed < period) sleeper(milliseconds_left(period - elapsed));
    start = clock();
    if (stop.stop_requested()) return false;
  }
}
