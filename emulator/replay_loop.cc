#include "emulator/replay_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/console_texts.h"
#include "emulator/replay_speed.h"
#include "formats/dump_file_errors.h"

namespace vove {

namespace {

// While paused, keys are looked at this often.
constexpr std::chrono::milliseconds pause_poll{20};
// A long wait is slept in pieces, so keys and Ctrl+C are answered at once
// even at a slow rate.
constexpr std::chrono::milliseconds longest_sleep{50};

std::string minutes_and_seconds(double seconds) {
  const auto whole = static_cast<long long>(std::floor(seconds > 0 ? seconds : 0));
  std::ostringstream text;
  text << std::setfill('0') << std::setw(2) << whole / 60 << ':' << std::setw(2) << whole % 60;
  return text.str();
}

double file_rate(const DumpFrames& frames) {
  // Stored unsigned, taken as signed as the reader always has: a "negative"
  // rate, like 0, replays without sleeping.
  return static_cast<double>(static_cast<std::int32_t>(frames.header().fps));
}

}  // namespace

std::string progress_text(const DumpFrames& frames, std::size_t frame, double speed, unsigned loop, bool paused) {
  std::ostringstream text;
  text << minutes_and_seconds(frames.seconds_of(frame)) << " / "
       << minutes_and_seconds(frames.seconds_of(frames.size())) << "  frame " << frame + 1 << " / " << frames.size()
       << "  speed " << speed << "x  loop " << loop;
  if (paused) text << "  paused";
  return text.str();
}

ReplaySession::ReplaySession(Producer& producer, DumpFrames& frames, const ReplayPlan& plan, ReplayTiming timing,
                             ProgressLine& progress, std::ostream& out)
    : producer_(producer),
      frames_(frames),
      plan_(plan),
      timing_(std::move(timing)),
      progress_(progress),
      out_(out),
      rate_(file_rate(frames)),
      speed_(plan.speed),
      schedule_(period_of_rate(rate_ * speed_), SteadyTime{}),
      next_(plan.first),
      shown_(plan.first) {}

ReplayEnd ReplaySession::run(const StopSignal& stop, const KeySource& keys) {
  if (ran_) return ReplayEnd::stopped;
  ran_ = true;
  take_earlier_frames();
  // The first frame is due once the producer has its first image.
  schedule_.restart(timing_.clock.now());
  producer_.begin_pass();

  for (;;) {
    if (stop.stop_requested()) {
      progress_.clear();
      return finish(ReplayEnd::stopped);
    }
    if (answer_keys(keys)) return finish(ReplayEnd::stopped);
    if (wait_for_next_frame()) continue;
    if (next_ == plan_.end && !begin_next_pass()) return finish(ReplayEnd::end_of_file);

    const bool late_frame = !paused_ && schedule_.take_due_frame(timing_.clock.now());
    const FramePayload payload = frames_.read(next_);
    if (payload.empty()) {
      // An empty frame ends the file as its end does; a loop starts again.
      if (plan_.loop && written_in_pass_ > 0) {
        next_ = plan_.end;
        continue;
      }
      say("Emulator reached end of file");
      return finish(ReplayEnd::end_of_file);
    }
    write_next_frame(payload);
    if (late_frame) ++late_;
  }
}

void ReplaySession::take_earlier_frames() {
  for (std::size_t frame = plan_.first; frame-- > 0;) {
    if (!producer_.take_earlier_frame(frames_.read(frame))) break;
  }
}

bool ReplaySession::answer_keys(const KeySource& keys) {
  if (!keys) return false;
  for (std::optional<platform::ConsoleKey> key = keys(); key; key = keys()) {
    switch (*key) {
      case platform::ConsoleKey::space:
        paused_ = !paused_;
        step_ = false;
        if (!paused_) schedule_.restart(timing_.clock.now());
        break;
      case platform::ConsoleKey::right_arrow:
      case platform::ConsoleKey::period: step_ = paused_; break;
      case platform::ConsoleKey::plus:
      case platform::ConsoleKey::minus:
        speed_ = std::clamp(*key == platform::ConsoleKey::plus ? speed_ * 2 : speed_ / 2, slowest_speed, fastest_speed);
        schedule_.change_period(period_of_rate(rate_ * speed_), timing_.clock.now());
        break;
      case platform::ConsoleKey::letter_q: say("Key q pressed. Stopping the job."); return true;
      case platform::ConsoleKey::other: continue;
    }
    progress_.update(position(), true);
  }
  return false;
}

bool ReplaySession::wait_for_next_frame() {
  if (paused_ && !step_) {
    timing_.sleeper(pause_poll);
    return true;
  }
  if (paused_) return false;
  const std::chrono::milliseconds wait = schedule_.time_until_due(timing_.clock.now());
  if (wait <= std::chrono::milliseconds::zero()) return false;
  timing_.sleeper(wait > 2 * longest_sleep ? longest_sleep : wait);
  return true;
}

bool ReplaySession::begin_next_pass() {
  if (!plan_.loop || written_in_pass_ == 0) {
    switch (plan_.at_end) {
      case RangeEnd::end_of_file: say("Emulator reached end of file"); break;
      case RangeEnd::end_of_range: say("Emulator reached the end of the range"); break;
      case RangeEnd::damaged_record:
        progress_.clear();
        throw DumpInputError(DumpErrorKind::damaged, std::string(console_text::decompress_failed));
    }
    return false;
  }
  next_ = plan_.first;
  written_in_pass_ = 0;
  ++loop_;
  say("Emulator restarted from the first frame (loop " + std::to_string(loop_) + ")");
  producer_.begin_pass();
  return true;
}

void ReplaySession::write_next_frame(const FramePayload& payload) {
  producer_.write_frame(payload);
  ++written_in_pass_;
  shown_ = next_++;
  step_ = false;
  progress_.update(position(), paused_);
}

ReplayEnd ReplaySession::finish(ReplayEnd end) {
  if (plan_.report_late_frames) out_ << "Frames written late: " << late_ << std::endl;
  return end;
}

void ReplaySession::say(const std::string& line) {
  progress_.clear();
  out_ << line << std::endl;
}

std::string ReplaySession::position() const { return progress_text(frames_, shown_, speed_, loop_, paused_); }

}  // namespace vove
