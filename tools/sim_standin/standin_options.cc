#include "tools/sim_standin/standin_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "formats/acc_pages.h"
#include "formats/iracing_layout.h"
#include "formats/lmu_layout.h"
#include "formats/pcars2_layout.h"
#include "formats/r3e_layout.h"
#include "formats/ac1_layout.h"
#include "formats/acevo_layout.h"
#include "formats/rf1_layout.h"
#include "formats/rf2_layout.h"
#include "simulators/simulator.h"

namespace vove {

namespace {

// Beyond this the stand-in could not keep up anyway; it only guards
// against typing mistakes such as a rate in millihertz.
constexpr double maximum_rate_hz = 1000.0;

// Longer than any demonstration or test needs, and small enough that
// converting it to clock nanoseconds cannot overflow.
constexpr double maximum_seconds = 1.0e7;

// A lap shorter than this would leave a recording at a low rate with
// fewer than a handful of rows per lap.
constexpr double minimum_lap_seconds = 1.0;
constexpr std::size_t maximum_lap_count = 1000;
// From a kart track to the longest road circuits and then some.
constexpr double minimum_track_metres = 100.0;
constexpr double maximum_track_metres = 100000.0;

// Whole tens of metres, so the session text's "x.xx km" states it exactly.
double parse_track_length(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || !std::isfinite(value) || value < minimum_track_metres ||
      value > maximum_track_metres || std::fmod(value, 10.0) != 0.0) {
    throw std::invalid_argument(
        "the value of --track-length must be a length in metres from 100 to 100000 in "
        "whole tens of metres, not '" +
        text + "'");
  }
  return value;
}

double parse_seconds(std::string_view name, const std::string& text, bool allow_zero) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || !std::isfinite(value) || value < 0.0 || value > maximum_seconds ||
      (!allow_zero && value == 0.0)) {
    throw std::invalid_argument("the value of --" + std::string(name) + " must be a number of seconds" +
                                (allow_zero ? " (0 or more)" : " above 0") + ", not '" + text + "'");
  }
  return value;
}

double parse_rate(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || !std::isfinite(value) || value <= 0.0 || value > maximum_rate_hz) {
    throw std::invalid_argument("the value of --rate must be a rate in hertz above 0 and at most 1000, not '" + text +
                                "'");
  }
  return value;
}

std::int32_t parse_tick(const std::string& text) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end || value < 0) {
    throw std::invalid_argument("the value of --ticks-start must be a whole number from 0 to " +
                                std::to_string(std::numeric_limits<std::int32_t>::max()) + ", not '" + text + "'");
  }
  return value;
}

// "S,S,...": the lap times the car drives in turn.
std::vector<double> parse_lap_seconds(const std::string& text) {
  std::vector<double> laps;
  std::size_t begin = 0;
  while (begin <= text.size() && laps.size() <= maximum_lap_count) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    const std::string item = text.substr(begin, comma - begin);
    const char* start = item.c_str();
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (item.empty() || end != start + item.size() || !std::isfinite(value) || value < minimum_lap_seconds ||
        value > maximum_seconds) {
      break;
    }
    laps.push_back(value);
    if (comma == text.size()) return laps;
    begin = comma + 1;
  }
  throw std::invalid_argument("the value of --lap-seconds must be up to " + std::to_string(maximum_lap_count) +
                              " lap times in seconds, each at least 1, separated by commas, not '" + text + "'");
}

// The modes are the simulator table's; each needs a publisher here.
StandinSimulator parse_simulator(const std::string& text) {
  if (const Simulator* simulator = find_standin_mode(text)) {
    if (simulator->source_id == iracing::iracing_source_id) return StandinSimulator::iracing;
    if (simulator->source_id == acc::acc_source_id) return StandinSimulator::acc;
    if (simulator->source_id == ac1::ac1_source_id) return StandinSimulator::ac1;
    if (simulator->source_id == acevo::acevo_source_id) return StandinSimulator::acevo;
    if (simulator->source_id == rf2::rf2_source_id) return StandinSimulator::rf2;
    if (simulator->source_id == pcars2::pcars2_source_id) return StandinSimulator::ams2;
    if (simulator->source_id == r3e::r3e_source_id) return StandinSimulator::r3e;
    if (simulator->source_id == rf1::rf1_source_id) return StandinSimulator::rf1;
    if (simulator->source_id == lmu::lmu_source_id) return StandinSimulator::lmu;
  }
  std::vector<std::string_view> names;
  for (const Simulator& simulator : simulators()) {
    if (!simulator.standin_mode.empty()) names.push_back(simulator.standin_mode);
  }
  std::string modes;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) modes += i + 1 == names.size() ? " or " : ", ";
    modes += "'" + std::string(names[i]) + "'";
  }
  throw std::invalid_argument("the value of --sim must be " + modes + ", not '" + text + "'");
}

}  // namespace

StandinCommand parse_standin_command_line(const std::vector<std::string>& arguments) {
  StandinCommand command;
  StandinOptions& options = command.options;
  bool resume_given = false;
  bool rate_given = false;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.rfind("--", 0) != 0) throw std::invalid_argument("unexpected argument '" + argument + "'");

    std::string name = argument.substr(2);
    std::optional<std::string> value;
    if (const auto equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }

    if (name == "help" || name == "exit-after-pause" || name == "no-signal" || name == "stamped-rows" ||
        name == "nonsense-headers") {
      if (value) throw std::invalid_argument("--" + name + " takes no value");
      if (name == "help")
        command.show_usage = true;
      else if (name == "no-signal")
        options.signal_event = false;
      else if (name == "stamped-rows")
        options.stamped_rows = true;
      else if (name == "nonsense-headers")
        options.nonsense_headers = true;
      else
        options.exit_after_pause = true;
      continue;
    }

    const bool known = name == "sim" || name == "rate" || name == "seconds" || name == "pause-after" ||
                       name == "resume-after" || name == "ticks-start" || name == "lap-seconds" ||
                       name == "track-length" || name == "session-every";
    if (!known) throw std::invalid_argument("unknown option '--" + name + "'");
    if (!value) {
      if (i + 1 >= arguments.size()) throw std::invalid_argument("--" + name + " needs a value");
      value = arguments[++i];
    }

    if (name == "sim")
      options.simulator = parse_simulator(*value);
    else if (name == "rate") {
      options.rate_hz = parse_rate(*value);
      rate_given = true;
    } else if (name == "seconds")
      options.run_seconds = parse_seconds(name, *value, true);
    else if (name == "pause-after")
      options.pause_after_seconds = parse_seconds(name, *value, false);
    else if (name == "resume-after") {
      options.resume_after_seconds = parse_seconds(name, *value, false);
      resume_given = true;
    } else if (name == "lap-seconds")
      options.lap_seconds = parse_lap_seconds(*value);
    else if (name == "track-length")
      options.track_length_metres = parse_track_length(*value);
    else if (name == "session-every")
      options.session_text_seconds = parse_seconds(name, *value, false);
    else
      options.ticks_start = parse_tick(*value);
  }
  if (options.stamped_rows && options.nonsense_headers) {
    throw std::invalid_argument("--stamped-rows and --nonsense-headers exclude each other");
  }

  // Those rates are the simulator's own, so a --rate given would mislead.
  const bool stamped_at_fixed_rate =
      options.stamped_rows &&
      (options.simulator == StandinSimulator::ams2 || options.simulator == StandinSimulator::r3e ||
       options.simulator == StandinSimulator::rf1 || options.simulator == StandinSimulator::lmu);
  if (rate_given && options.simulator == StandinSimulator::rf2) {
    throw std::invalid_argument("--rate does not apply to --sim rf2: each buffer keeps the plugin's own rate");
  }
  if (rate_given && stamped_at_fixed_rate) {
    throw std::invalid_argument(
        "--rate does not apply to --stamped-rows with --sim ams2, r3e, rf1 or lmu: 400 a second");
  }

  if ((resume_given || options.exit_after_pause) && options.pause_after_seconds == 0.0) {
    throw std::invalid_argument(std::string(resume_given ? "--resume-after" : "--exit-after-pause") +
                                " needs --pause-after");
  }
  if (resume_given && options.exit_after_pause) {
    throw std::invalid_argument("--resume-after and --exit-after-pause exclude each other");
  }
  return command;
}

const char* standin_usage() {
  return "Usage: sim_standin [options]\n"
         "Publishes simulator-shaped telemetry under the simulators' shared-memory names.\n"
         "  --sim iracing|acc|ac1|acevo|lmu|rf2|ams2|r3e|rf1\n"
         "                        which simulator to stand in for (default iracing)\n"
         "  --rate HZ             updates per second, above 0 up to 1000 (default 60); rf2\n"
         "                        keeps the plugin's own rate for each buffer\n"
         "  --seconds S           run S seconds, then exit (default: until Ctrl+C or SIGTERM)\n"
         "  --pause-after S       after S seconds stop producing: iracing clears the connected\n"
         "                        bit, acc and ac1 set the status to 0, rf2, r3e, acevo,\n"
         "                        rf1 and lmu stop writing, ams2 sets the game state to 3\n"
         "                        (paused)\n"
         "  --resume-after S      S seconds into the pause produce again; iracing restarts\n"
         "                        with lower tick counts, as after a simulator restart\n"
         "  --exit-after-pause    exit as soon as the pause begins\n"
         "  --ticks-start N       iracing: tick count of the first row (default 1)\n"
         "  --no-signal           iracing: never signal the data-valid event, so consumers\n"
         "                        only ever see their waits time out\n"
         "  --lap-seconds S,S,... the car drives laps of these times in turn, in\n"
         "                        simulated seconds (default 102.345 each)\n"
         "  --track-length M      iracing: the track is M metres long, in whole tens (default:\n"
         "                        the lap times at about 45 m/s; 4650 for the default lap)\n"
         "  --session-every S     iracing: rewrite the session text every S seconds (default 4)\n"
         "  --stamped-rows        iracing: one 1 MiB row rewritten in place, its slot's tick\n"
         "                        cleared meanwhile, the tick stamped at both ends of the row;\n"
         "                        rf2 (Telemetry), ams2, r3e, rf1, lmu: rewritten 400 times\n"
         "                        a second under the simulator's protocol (r3e and rf1\n"
         "                        have none), a counter (u64) stamped at both ends of what\n"
         "                        a reader copies, a stand-in convention: rf2 at 16 and the\n"
         "                        last 8 bytes of the hinted part, ams2 at 20 and 20692,\n"
         "                        r3e at 56 and 43988, rf1 at 0 and 11359, lmu at 128468\n"
         "                        and 324812\n"
         "  --nonsense-headers    iracing: every other half second, a header with impossible\n"
         "                        offsets, lengths and counts\n"
         "  --help                print this and exit\n";
}

}  // namespace vove
