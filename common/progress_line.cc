#include "common/progress_line.h"

#include <iostream>

#include "common/platform/platform.h"

namespace vove {

namespace {

// A few updates a second read as live without costing anything.
constexpr std::chrono::milliseconds redraw_interval{250};

}  // namespace

ProgressLine::ProgressLine() : ProgressLine(std::cerr, platform::standard_error_is_terminal(), SteadyClock{}) {}

ProgressLine::ProgressLine(std::ostream& out, bool enabled, SteadyClock clock)
    : out_(out), enabled_(enabled), clock_(std::move(clock)) {}

ProgressLine::~ProgressLine() {
  try {
    clear();
  } catch (...) {
    // A terminal that failed cannot be cleaned up either.
  }
}

void ProgressLine::show_after(std::chrono::nanoseconds delay) {
  if (!enabled_) return;
  hidden_until_ = clock_.now() + delay;
  hidden_ = true;
}

void ProgressLine::update(std::string_view text, bool now) {
  if (!enabled_) return;
  const SteadyTime time = clock_.now();
  if (hidden_) {
    if (time < hidden_until_) return;
    hidden_ = false;
  }
  if (drawn_ && !now && time - last_draw_ < redraw_interval) return;
  last_draw_ = time;
  drawn_ = true;
  out_ << '\r' << text;
  if (text.size() < width_) out_ << std::string(width_ - text.size(), ' ') << '\r' << text;
  width_ = text.size();
  out_.flush();
}

void ProgressLine::clear() {
  if (!enabled_ || !drawn_) return;
  out_ << '\r' << std::string(width_, ' ') << '\r';
  out_.flush();
  drawn_ = false;
  width_ = 0;
}

}  // namespace vove
