#include "emulator/replay_loop.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "common/console_texts.h"
#include "common/frame_schedule.h"
#include "emulator/replay_speed.h"
#include "formats/dump_file_errors.h"

namespace {

// While paused, keys are looked at this often.
constexpr std::int32_t pause_poll_milliseconds = 20;
// A long wait is slept in pieces, so keys and Ctrl+C are answered at once
// even at a slow rate.
constexpr std::int32_t longest_sleep_milliseconds = 50;

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
  text << minutes_and_seconds(frames.seconds_of(frame)) << " / " << minutes_and_seconds(frames.seconds_of(frames.size()))
       << "  frame " << frame + 1 << " / " << frames.size() << "  speed " << speed << "x  loop " << loop;
  if (paused) text << "  paused";
  return text.str();
}

ReplayEnd run_replay_loop(const StopSignal& stop, Producer& producer, DumpFrames& frames, const ReplayPlan& plan,
                          const ReplayTiming& timing, const KeySource& keys, ProgressLine& progress) {
  for (std::size_t frame = plan.first; frame-- > 0;) {
    if (!producer.take_earlier_frame(frames.read(frame))) break;
  }

  const double rate = file_rate(frames);
  double speed = plan.speed;
  FrameSchedule schedule(period_nanoseconds(rate * speed), timing.clock());
  std::size_t next = plan.first;
  std::size_t shown = plan.first;  // the frame last written
  std::size_t written_in_pass = 0;
  unsigned loop = 1;
  bool paused = false;
  bool step = false;
  std::uint64_t late = 0;
  const auto finish = [&](ReplayEnd end) {
    if (plan.report_late_frames) std::cout << "Frames written late: " << late << std::endl;
    return end;
  };
  const auto say = [&](const char* line) {
    progress.clear();
    std::cout << line << std::endl;
  };
  producer.begin_pass();

  for (;;) {
    if (stop.stop_requested()) {
      progress.clear();
      return finish(ReplayEnd::stopped);
    }
    for (std::optional<platform::ConsoleKey> key = keys ? keys() : std::nullopt; key; key = keys()) {
      switch (*key) {
        case platform::ConsoleKey::space:
          paused = !paused;
          step = false;
          if (!paused) schedule.restart(timing.clock());
          break;
        case platform::ConsoleKey::right_arrow:
        case platform::ConsoleKey::period:
          step = paused;
          break;
        case platform::ConsoleKey::plus:
        case platform::ConsoleKey::minus:
          speed = std::clamp(*key == platform::ConsoleKey::plus ? speed * 2 : speed / 2, slowest_speed, fastest_speed);
          schedule.change_period(period_nanoseconds(rate * speed), timing.clock());
          break;
        case platform::ConsoleKey::letter_q:
          say("Key q pressed. Stopping the job.");
          return finish(ReplayEnd::stopped);
        case platform::ConsoleKey::other:
          continue;
      }
      progress.update(progress_text(frames, shown, speed, loop, paused), true);
    }

    if (paused && !step) {
      timing.sleeper(pause_poll_milliseconds);
      continue;
    }
    if (!paused) {
      const std::int32_t wait = schedule.milliseconds_until_due(timing.clock());
      if (wait > 0) {
        timing.sleeper(wait > 2 * longest_sleep_milliseconds ? longest_sleep_milliseconds : wait);
        continue;
      }
    }

    if (next == plan.end) {
      if (!plan.loop || written_in_pass == 0) {
        switch (plan.at_end) {
          case RangeEnd::end_of_file:
            say("Emulator reached end of file");
            break;
          case RangeEnd::end_of_range:
            say("Emulator reached the end of the range");
            break;
          case RangeEnd::damaged_record:
            progress.clear();
            throw DumpInputError(DumpErrorKind::damaged, std::string(console_text::decompress_failed));
        }
        return finish(ReplayEnd::end_of_file);
      }
      next = plan.first;
      written_in_pass = 0;
      ++loop;
      say(("Emulator restarted from the first frame (loop " + std::to_string(loop) + ")").c_str());
      producer.begin_pass();
    }

    const bool late_frame = !paused && schedule.take_due_frame(timing.clock());
    const FramePayload payload = frames.read(next);
    if (payload.empty()) {
      // An empty frame ends the file as its end does; a loop starts again.
      if (plan.loop && written_in_pass > 0) {
        next = plan.end;
        continue;
      }
      say("Emulator reached end of file");
      return finish(ReplayEnd::end_of_file);
    }
    producer.write_frame(payload);
    if (late_frame) ++late;
    ++written_in_pass;
    shown = next++;
    step = false;
    progress.update(progress_text(frames, shown, speed, loop, paused), paused);
  }
}
