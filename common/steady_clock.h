// The steady clock the paced loops read. The programs use the system's;
// tests hand in a scripted one, so that a loop's timing can be checked
// without waiting for it.
#pragma once

#include <chrono>
#include <concepts>
#include <functional>
#include <type_traits>
#include <utility>

namespace vove {

// A reading of the steady clock, in whole nanoseconds on every platform.
using SteadyTime = std::chrono::time_point<std::chrono::steady_clock, std::chrono::nanoseconds>;

class SteadyClock {
 public:
  // The system's steady clock.
  SteadyClock() noexcept = default;
  // Readings from `reading`, a callable giving a SteadyTime at each call.
  // Implicit, so a test can pass a lambda where a clock is taken.
  template <class Reading>
  requires(!std::same_as<std::remove_cvref_t<Reading>, SteadyClock> && std::is_invocable_r_v<SteadyTime, Reading&>)
      SteadyClock(Reading reading)
      : reading_(std::move(reading)) {}

  SteadyTime now() const {
    if (reading_) return reading_();
    return std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now());
  }

 private:
  std::function<SteadyTime()> reading_;  // empty: the system's clock
};

}  // namespace vove
