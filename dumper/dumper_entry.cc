#include "dumper/dumper_entry.h"

#include <boost/program_options.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/console_texts.h"
#include "common/explained_error.h"
#include "common/stop_signal.h"
#include "common/version.h"
#include "dumper/recording_cycle.h"
#include "formats/dump_format.h"
#include "formats/named_objects_payload.h"

namespace vove {

namespace options = boost::program_options;

namespace {

constexpr int default_fps = 5;
constexpr double longest_idle_end_seconds = 86400.0;

std::string fps_range() {
  return "[" + std::to_string(lowest_recording_fps) + ", " + std::to_string(highest_recording_fps) + "]";
}

options::options_description make_option_table() {
  options::options_description table("Allowed options", 80, 40);
  const std::string fps_help = "Frames per second " + fps_range();
  table.add_options()("help", "Produce help message")("version", "Print the version and exit")(
      "fps", options::value<int>()->default_value(default_fps), fps_help.c_str())(
      "idle-end", options::value<double>(),
      "End a recording when the simulator has published nothing new for this many seconds (0, 86400]")(
      "shm", options::value<std::string>(),
      "Record these named shared-memory mappings of any program instead of a simulator: NAME[,NAME...]");
  return table;
}

// The names of --shm: separated by commas, each as its creator names it,
// none empty or twice, as many as a frame holds. Empty on a bad list, with
// why in `error`.
std::vector<std::string> shm_names(const std::string& list, std::string& error) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t comma = std::min(list.find(',', begin), list.size());
    std::string name = list.substr(begin, comma - begin);
    if (name.empty() || name.size() > max_object_name_length) {
      error = "each name must have 1 to " + std::to_string(max_object_name_length) + " bytes";
      return {};
    }
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      error = "the name " + name + " is given twice";
      return {};
    }
    names.push_back(std::move(name));
    if (names.size() > max_named_objects) {
      error = "at most " + std::to_string(max_named_objects) + " names";
      return {};
    }
    if (comma == list.size()) return names;
    begin = comma + 1;
  }
}

bool is_accepted_idle_end(double seconds) noexcept {
  return std::isfinite(seconds) && seconds > 0.0 && seconds <= longest_idle_end_seconds;
}

}  // namespace

void run_dumper_main_phase(const RecordingSettings& settings) {
  const StopSignal stop;
  run_recording_cycle(stop, settings);
}

int run_dumper(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               const DumperMainPhase& main_phase) {
  const options::options_description table = make_option_table();
  options::variables_map values;
  try {
    store_command_line(argc, argv, table, values);
    if (values.count("help") != 0) {
      out << help_heading("dumper") << "\n" << table << "\n";
      return console_text::help_exit_code;
    }
    if (values.count("version") != 0) {
      out << version_line("dumper") << std::endl;
      return 0;
    }
    options::notify(values);
  } catch (const std::exception& error) {
    err << "Error: " << error.what() << std::endl;
    return 1;
  }

  const int fps = values["fps"].as<int>();
  if (!is_recording_fps(fps)) {
    out << "Invalid fps value: " << fps << std::endl;
    out << "Accepted values are " << fps_range() << std::endl;
    return 1;
  }
  RecordingSettings settings;
  settings.fps = fps;
  if (values.count("idle-end") != 0) {
    const double idle_end_seconds = values["idle-end"].as<double>();
    settings.idle_end = std::chrono::duration<double>(idle_end_seconds);
    if (!is_accepted_idle_end(idle_end_seconds)) {
      out << "Invalid idle-end value: " << values["idle-end"].as<double>() << std::endl;
      out << "Accepted values are seconds in (0, 86400]" << std::endl;
      return 1;
    }
  }
  if (values.count("shm") != 0) {
    std::string error;
    settings.shm_names = shm_names(values["shm"].as<std::string>(), error);
    if (settings.shm_names.empty()) {
      out << "Invalid shm value: " << values["shm"].as<std::string>() << std::endl;
      out << "Accepted values are names separated by commas: " << error << std::endl;
      return 1;
    }
  }
  out << "Frames per second: " << fps << std::endl;
  if (!settings.shm_names.empty()) {
    out << "Recording named shared memory: no consistency protocol is known for it, so a frame may hold a write "
           "half done"
        << std::endl;
  }

  try {
    main_phase(settings);
  } catch (const std::exception& error) {
    report_error(out, error);
  }
  // Asked to end by SIGTERM or SIGHUP: with every name released by now, the
  // process ends by that signal, without the closing lines.
  end_if_termination_requested();
  out << console_text::dumper_stopped << std::endl;
  out << console_text::close_window << std::endl;
  return 0;
}

}  // namespace vove
