// A status line on standard error that redraws itself in place, for runs
// long enough that a user wonders whether anything is happening. It shows
// only when standard error is a terminal, so logs and pipes never see it.
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "common/steady_clock.h"

namespace vove {

class ProgressLine {
 public:
  // Draws on standard error when it is a terminal.
  ProgressLine();
  // Draws on `out` when `enabled`, reading time from `clock`: for tests.
  ProgressLine(std::ostream& out, bool enabled, SteadyClock clock);
  ~ProgressLine();  // clears the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool enabled() const noexcept { return enabled_; }
  // Draws nothing until `delay` from now has passed, so that work which
  // ends sooner leaves the terminal alone.
  void show_after(std::chrono::nanoseconds delay);
  // Redraws with `text`, at most a few times a second unless `now` is set
  // (use it for a change the user caused, such as a pause).
  void update(std::string_view text, bool now = false);
  // Removes the line, so that whatever is printed next starts clean.
  void clear();

 private:
  std::ostream& out_;
  bool enabled_;
  SteadyClock clock_;
  SteadyTime last_draw_{};
  SteadyTime hidden_until_{};
  bool hidden_ = false;
  bool drawn_ = false;
  std::size_t width_ = 0;  // of the text on screen, so a shorter one erases it
};

}  // namespace vove
