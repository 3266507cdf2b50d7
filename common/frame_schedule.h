// The deadlines of a replay that must keep its rate exactly: frame k is due
// at start + k × period on the steady clock. Sleeping to each deadline,
// instead of sleeping a period after each frame, carries the fraction of a
// millisecond the sleeper cannot take and makes up a late wake-up at the
// next frame, so the rate does not drift.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/steady_clock.h"

namespace vove {

class FrameSchedule {
 public:
  // The first frame is due at `now`. A period of 0 or less never waits.
  FrameSchedule(std::chrono::nanoseconds period, SteadyTime now) noexcept : period_(period), due_(now) {}

  std::chrono::nanoseconds period() const noexcept { return period_; }
  SteadyTime due() const noexcept { return due_; }

  // Whole milliseconds to sleep before the due frame, rounded to the
  // nearest (a half up), so the frame comes within half a millisecond of
  // its deadline; 0 when it is due. At most what an int32 counts.
  std::chrono::milliseconds time_until_due(SteadyTime now) const noexcept;

  // The due frame is being written at `now`: the next one is due a period
  // after this one's deadline. A frame more than a period behind (the
  // machine stalled) starts the schedule again from now, so the frames after
  // a stall do not come in a burst. Returns whether this frame is late:
  // half a period and at least a millisecond behind its deadline.
  bool take_due_frame(SteadyTime now) noexcept;

  // For a loop that owes every deadline a frame (the recorder): makes the
  // newest deadline not after `now` the due one and returns how many whole
  // deadlines before it went by unserved; 0 while the due frame is less
  // than a period behind.
  std::uint64_t skip_missed(SteadyTime now) noexcept;
  // The due frame has been served: the next is due a period after its
  // deadline, however late this one was.
  void advance() noexcept;

  // The next frame is due at `now` (after a pause).
  void restart(SteadyTime now) noexcept { due_ = now; }
  // A new rate from now on: the next frame is due one new period from now.
  void change_period(std::chrono::nanoseconds period, SteadyTime now) noexcept;

 private:
  std::chrono::nanoseconds period_;
  SteadyTime due_;
};

}  // namespace vove
