#include "common/frame_schedule.h"

#include <limits>

namespace {

constexpr std::int64_t millisecond = 1'000'000;

}  // namespace

std::int32_t FrameSchedule::milliseconds_until_due(std::int64_t now) const noexcept {
  if (period_ <= 0 || now >= due_) return 0;
  const std::int64_t left = due_ - now;  // both are clock readings: no overflow
  const std::int64_t milliseconds = left / millisecond + (left % millisecond >= millisecond / 2 ? 1 : 0);
  constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(milliseconds < most ? milliseconds : most);
}

bool FrameSchedule::take_due_frame(std::int64_t now) noexcept {
  if (period_ <= 0) {
    due_ = now;
    return false;
  }
  const std::int64_t behind = now - due_;
  const bool late = behind >= period_ / 2 && behind >= millisecond;
  if (behind > period_) due_ = now;
  advance();
  return late;
}

std::uint64_t FrameSchedule::skip_missed(std::int64_t now) noexcept {
  if (period_ <= 0 || now <= due_) return 0;
  // In unsigned arithmetic the distance between any two readings is exact.
  const std::uint64_t behind = static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(due_);
  const std::uint64_t missed = behind / static_cast<std::uint64_t>(period_);
  // due_ + missed * period_ lies between due_ and now: no overflow.
  due_ = static_cast<std::int64_t>(static_cast<std::uint64_t>(due_) + missed * static_cast<std::uint64_t>(period_));
  return missed;
}

void FrameSchedule::advance() noexcept {
  if (period_ <= 0) return;
  due_ = due_ > std::numeric_limits<std::int64_t>::max() - period_ ? std::numeric_limits<std::int64_t>::max()
                                                                    : due_ + period_;
}

void FrameSchedule::change_period(std::int64_t period, std::int64_t now) noexcept {
  period_ = period;
  due_ = period > 0 && now <= std::numeric_limits<std::int64_t>::max() - period ? now + period : now;
}
