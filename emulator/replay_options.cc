#include "emulator/replay_options.h"

#include <sstream>
#include <string>
#include <system_error>

#include "emulator/replay_speed.h"

namespace vove {

std::string number_text(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

namespace {

[[noreturn]] void reject(const std::string& message) { throw RejectedOption(message); }

}  // namespace

void check_replay_options(const ReplayOptions& options) {
  if (options.speed && !(*options.speed >= slowest_speed && *options.speed <= fastest_speed)) {
    reject("the option '--speed' must lie between " + number_text(slowest_speed) + " and " +
           number_text(fastest_speed) + ", not " + number_text(*options.speed));
  }
  if (options.from && !(*options.from >= 0)) {
    reject("the option '--from' must be 0 or more, not " + number_text(*options.from));
  }
  const double from = options.from.value_or(0);
  if (options.to && !(*options.to > from)) {
    reject("the option '--to' must be greater than " + std::string(options.from ? "'--from'" : "0") + ", not " +
           number_text(*options.to));
  }
}

ReplayPlan plan_replay(const DumpFrames& frames, const std::filesystem::path& path, const ReplayOptions& options) {
  ReplayPlan plan;
  plan.loop = options.loop;
  plan.speed = options.speed.value_or(1.0);
  plan.report_late_frames = options.speed.has_value();
  plan.end = frames.size();

  const double length = frames.seconds_of(frames.size());
  const std::string bounds = "the recording holds " + number_text(length) + " seconds";
  if (options.from) {
    plan.first = frames.frame_at(*options.from);
    if (plan.first >= frames.size())
      reject("the option '--from' lies beyond the end of the recording (" + bounds + ")");
  }
  if (options.to) {
    if (*options.to > length) reject("the option '--to' lies beyond the end of the recording (" + bounds + ")");
    plan.end = frames.frame_at(*options.to);
    if (plan.end <= plan.first) reject("the range of '--from' and '--to' holds no frame");
  }

  if (plan.end < frames.size()) {
    plan.at_end = RangeEnd::end_of_range;
  } else if (const auto& damage = frames.index().damage()) {
    // A file cut inside a record's two sizes has always read as ending
    // there; any other damage is the inflate error it always was.
    std::error_code error;
    const auto file_size = std::filesystem::file_size(path, error);
    const bool cut_in_sizes = !error && file_size - damage->offset < frame_record_header_size;
    plan.at_end = cut_in_sizes ? RangeEnd::end_of_file : RangeEnd::damaged_record;
  }
  return plan;
}

}  // namespace vove
