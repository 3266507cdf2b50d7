#include "common/precise_sleep.h"

#include <chrono>
#include <cmath>
#include <thread>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define VOVE_HAS_PAUSE 1
#endif

namespace vove {

namespace {

// Only the main thread of a program sleeps this way, so plain values do.
SleepStatistics process_statistics;

// Tells the core it is spinning, which saves power and frees resources for
// a sibling hardware thread; without such an instruction the loop just spins.
inline void spin_wait_hint() noexcept {
#ifdef VOVE_HAS_PAUSE
  _mm_pause();
#endif
}

}  // namespace

void precise_sleep(std::chrono::milliseconds duration) {
  precise_sleep_with(duration, process_statistics, SteadyClock{},
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
}

SleepStatistics precise_sleep_statistics() { return process_statistics; }

void precise_sleep_with(std::chrono::milliseconds duration, SleepStatistics& statistics, const SteadyClock& clock,
                        const std::function<void()>& sleep_one_millisecond) {
  using Seconds = std::chrono::duration<double>;
  Seconds remaining = duration;

  // Sleep in single, measured steps while one more step is not expected to
  // overshoot; every step refines the expectation (Welford's method).
  while (remaining.count() > statistics.estimate) {
    const SteadyTime before = clock.now();
    sleep_one_millisecond();
    const double observed = Seconds(clock.now() - before).count();
    remaining -= Seconds(observed);

    ++statistics.count;
    const double delta = observed - statistics.mean;
    statistics.mean += delta / static_cast<double>(statistics.count);
    statistics.m2 += delta * (observed - statistics.mean);
    const double deviation = std::sqrt(statistics.m2 / static_cast<double>(statistics.count - 1));
    statistics.estimate = statistics.mean + deviation;
  }

  const SteadyTime spin_start = clock.now();
  while (Seconds(clock.now() - spin_start) < remaining) spin_wait_hint();
}

}  // namespace vove
