// Walks the frames of a dump file into the selected producer at the file's
// rate (times the chosen speed), over a range of frames, once or in a loop,
// under the user's keys.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "common/pacing.h"
#include "common/platform/platform.h"
#include "common/progress_line.h"
#include "common/stop_signal.h"
#include "formats/dump_frames.h"
#include "simulators/producer.h"

enum class ReplayEnd { end_of_file, stopped };

// What lies at the end of the range when the replay does not loop.
enum class RangeEnd {
  end_of_file,      // "Emulator reached end of file"
  damaged_record,   // the record after the range cannot be read: the inflate error
  end_of_range,     // --to: "Emulator reached the end of the range"
};

struct ReplayPlan {
  std::size_t first = 0;  // frames [first, end) are replayed
  std::size_t end = 0;
  RangeEnd at_end = RangeEnd::end_of_file;
  bool loop = false;
  double speed = 1.0;
  bool report_late_frames = false;  // a closing line counts the frames written late
};

// The next key the user typed, if any; never waits.
using KeySource = std::function<std::optional<platform::ConsoleKey>()>;

struct ReplayTiming {
  SteadyClock clock;
  Sleeper sleeper;
};

// Lets the producer take the frames before the range it needs for a
// complete first image, then writes each frame of the range at its deadline
// (start + k × period, the period being the file's divided by the speed),
// until the range ends (see RangeEnd; with `loop`, it starts again at the
// range's first frame), a stop is requested or the user presses q. Every
// frame read is written before the stop is looked at.
//
// Keys: space pauses and resumes, the right arrow or '.' steps one frame
// while paused, '+' and '-' double and halve the speed (within 0.1 to 16).
// While paused nothing is written. The progress line shows the position.
// Errors of the reader and the producer pass through.
ReplayEnd run_replay_loop(const StopSignal& stop, Producer& producer, DumpFrames& frames, const ReplayPlan& plan,
                          const ReplayTiming& timing, const KeySource& keys, ProgressLine& progress);

// The progress line's text, e.g. "01:05 / 12:00  frame 3900 / 43200  speed 1x  loop 1".
std::string progress_text(const DumpFrames& frames, std::size_t frame, double speed, unsigned loop, bool paused);
