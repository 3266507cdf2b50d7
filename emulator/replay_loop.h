// Walks the frames of a dump file into the selected producer at the file's
// rate (times the chosen speed), over a range of frames, once or in a loop,
// under the user's keys.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "common/frame_schedule.h"
#include "common/pacing.h"
#include "common/platform/platform.h"
#include "common/progress_line.h"
#include "common/stop_signal.h"
#include "formats/dump_frames.h"
#include "simulators/producer.h"

namespace vove {

enum class ReplayEnd { end_of_file, stopped };

// What lies at the end of the range when the replay does not loop.
enum class RangeEnd {
  end_of_file,     // "Emulator reached end of file"
  damaged_record,  // the record after the range cannot be read: the inflate error
  end_of_range,    // --to: "Emulator reached the end of the range"
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

// The clock the deadlines are read on and the sleep that waits for them.
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
// While paused nothing is written. The progress line shows the position;
// the lines a user reads at the end of a range or on q go to `out`.
// Errors of the reader and the producer pass through.
class ReplaySession {
 public:
  ReplaySession(Producer& producer, DumpFrames& frames, const ReplayPlan& plan, ReplayTiming timing,
                ProgressLine& progress, std::ostream& out);
  ReplaySession(const ReplaySession&) = delete;
  ReplaySession& operator=(const ReplaySession&) = delete;

  // Runs once; a second call replays nothing and ends at once.
  ReplayEnd run(const StopSignal& stop, const KeySource& keys);

 private:
  void take_earlier_frames();
  // Answers every key typed so far; true when the user asked to stop.
  bool answer_keys(const KeySource& keys);
  // Sleeps a piece of the wait when no frame is to be written yet; true
  // when it slept.
  bool wait_for_next_frame();
  // At the end of the range: starts the next pass (true) or ends the
  // replay (false, with the line of what ended it).
  bool begin_next_pass();
  void write_next_frame(const FramePayload& payload);
  ReplayEnd finish(ReplayEnd end);
  void say(const std::string& line);
  std::string position() const;

  Producer& producer_;
  DumpFrames& frames_;
  const ReplayPlan plan_;
  const ReplayTiming timing_;
  ProgressLine& progress_;
  std::ostream& out_;

  const double rate_;
  double speed_;
  FrameSchedule schedule_;
  std::size_t next_;
  std::size_t shown_;  // the frame last written
  std::size_t written_in_pass_ = 0;
  unsigned loop_ = 1;
  bool paused_ = false;
  bool step_ = false;
  std::uint64_t late_ = 0;
  bool ran_ = false;
};

// The progress line's text, e.g. "01:05 / 12:00  frame 3900 / 43200  speed 1x  loop 1".
std::string progress_text(const DumpFrames& frames, std::size_t frame, double speed, unsigned loop, bool paused);

}  // namespace vove
