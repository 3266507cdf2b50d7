#include "common/frame_schedule.h"

#include <limits>

namespace vove {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr nanoseconds millisecond = milliseconds{1};

// Nanosecond counts as unsigned, where the distance between any two clock
// readings is exact.
std::uint64_t as_unsigned(SteadyTime time) noexcept {
  return static_cast<std::uint64_t>(time.time_since_epoch().count());
}

}  // namespace

milliseconds FrameSchedule::time_until_due(SteadyTime now) const noexcept {
  if (period_ <= nanoseconds::zero() || now >= due_) return milliseconds::zero();
  const nanoseconds left = due_ - now;  // both are clock readings: no overflow
  const milliseconds whole = std::chrono::duration_cast<milliseconds>(left);
  // Not std::chrono::round, which would take a half to the even neighbour.
  const milliseconds rounded = whole + milliseconds{left - whole >= millisecond / 2 ? 1 : 0};
  constexpr milliseconds most{std::numeric_limits<std::int32_t>::max()};
  return rounded < most ? rounded : most;
}

bool FrameSchedule::take_due_frame(SteadyTime now) noexcept {
  if (period_ <= nanoseconds::zero()) {
    due_ = now;
    return false;
  }
  const nanoseconds behind = now - due_;
  const bool late = behind >= period_ / 2 && behind >= millisecond;
  if (behind > period_) due_ = now;
  advance();
  return late;
}

std::uint64_t FrameSchedule::skip_missed(SteadyTime now) noexcept {
  if (period_ <= nanoseconds::zero() || now <= due_) return 0;
  const std::uint64_t period = static_cast<std::uint64_t>(period_.count());
  const std::uint64_t missed = (as_unsigned(now) - as_unsigned(due_)) / period;
  // due_ + missed * period_ lies between due_ and now: no overflow.
  due_ = SteadyTime{nanoseconds{static_cast<std::int64_t>(as_unsigned(due_) + missed * period)}};
  return missed;
}

void FrameSchedule::advance() noexcept {
  if (period_ <= nanoseconds::zero()) return;
  due_ = due_ > SteadyTime::max() - period_ ? SteadyTime::max() : due_ + period_;
}

void FrameSchedule::change_period(nanoseconds period, SteadyTime now) noexcept {
  period_ = period;
  due_ = period > nanoseconds::zero() && now <= SteadyTime::max() - period ? now + period : now;
}

}  // namespace vove
