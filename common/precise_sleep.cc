#include "common/precise_sleep.h"

#include <chrono>
#include <cmath>
#include <thread>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define VOVE_HAS_PAUSE 1
#endif

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

void precise_sleep(std::int32_t milliseconds) {
  precise_sleep_with(milliseconds, process_statistics, steady_now,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
}

SleepStatistics precise_sleep_statistics() { return process_statistics; }

void precise_sleep_with(std::int32_t milliseconds, SleepStatistics& statistics,
                        const SteadyClock& clock, const std::function<void()>& sleep_one_millisecond) {
  double remaining = milliseconds / 1000.0;

  // Sleep in single, measured steps while one more step is not expected to
  // overshoot; every step refines the expectation (Welford's method).
  while (remaining > statistics.estimate) {
    const std::int64_t before = clock();
    sleep_one_millisecond();
    const double observed = static_cast<double>(clock() - before) / 1e9;
    remaining -= observed;

    ++statistics.count;
    const double delta = observed - statistics.mean;
    statistics.mean += delta / static_cast<double>(statistics.count);
    statistics.m2 += delta * (observed - statistics.mean);
    const double deviation = std::sqrt(statistics.m2 / static_cast<double>(statistics.count - 1));
    statistics.estimate = statistics.mean + deviation;
  }

  const std::int64_t spin_start = clock();
  while (static_cast<double>(clock() - spin_start) / 1e9 < remaining) spin_wait_hint();
}
