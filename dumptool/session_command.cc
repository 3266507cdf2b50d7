// dumptool session: the session text in force at a moment of a recording.
#include <iostream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/damage_report.h"
#include "formats/iracing_recording.h"
#include "formats/iracing_session_text.h"
#include "simulators/simulator.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view session_about =
    "Writes the iRacing session text in force at --at seconds (default: the start) to standard\n"
    "output, byte for byte as it was recorded. The text travels only in the frames where it\n"
    "changed; the one in force is the last one carried up to that frame.\n"
    "\n"
    "With --query PATH, writes only the value PATH names in that text, as the simulator's own\n"
    "query reads it (raw: quotes and trailing spaces kept), e.g. WeekendInfo:TrackDisplayName:,\n"
    "DriverInfo:Drivers:CarIdx:{7}UserName:, SessionInfo:Sessions:SessionNum:{1}SessionType:.\n"
    "A path the text does not hold exits with 3.";

// The value of --query in `text`, on its own line; exit code 3 when the
// text holds none.
int answer_query(const std::string& text, const std::string& path) {
  const auto value = iracing::query_session_text(text, path);
  if (!value) {
    report_error("the session text holds no value for the path " + path);
    return exit_not_found;
  }
  std::cout << *value << '\n';
  return exit_success;
}

int run_session(const CommandLine& command_line) {
  auto frames = open_recording(command_line.file());
  if (payload_codec(frames->header().source_id) != PayloadCodec::iracing_snapshot) {
    throw UsageError("session needs an iRacing recording: ACC recordings carry no session text");
  }
  const double at = seconds_option(command_line.values(), "at", 0.0);
  if (frames->size() == 0) {
    select_frames(*frames, {});  // says why there is no frame
  }
  const std::size_t frame = frames->frame_at(at);
  if (frame >= frames->size()) {
    throw UsageError("--at " + seconds_text(at) + " lies past the last readable frame, at " +
                     seconds_text(frames->seconds_of(frames->size() - 1)) + " s");
  }
  DamageReport damage(*frames, frame, std::cerr);  // what lies after it does not matter
  iracing::RecordingWalk walk(*frames, frame, frame + 1);
  try {
    walk.next();
  } catch (const iracing::DamagedFrameError& error) {
    // A text it carried is lost; the one before it is the best there is.
    damage.damaged_frame(error);
  }
  if (walk.session_text().empty()) {
    damage.problem("no frame up to " + seconds_text(at) + " s carries a session text");
  } else if (command_line.has("query")) {
    const int code = answer_query(walk.session_text(), command_line.values()["query"].as<std::string>());
    std::cout.flush();
    const int damage_code = damage.finish();
    return code != exit_success ? code : damage_code;
  } else {
    std::cout << walk.session_text();
  }
  std::cout.flush();
  return damage.finish();
}

}  // namespace

}  // namespace dumptool

int run_session_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("session FILE [--at SECONDS] [--query PATH]", session_about);
  command_line.add_options()("at", options::value<double>(), "seconds from the start of the recording (default: 0)")(
      "query", options::value<std::string>(), "write only the value of PATH, e.g. WeekendInfo:TrackLength:");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_session(command_line); });
}

}  // namespace vove
