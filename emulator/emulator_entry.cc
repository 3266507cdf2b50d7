#include "emulator/emulator_entry.h"

#include <boost/program_options.hpp>

#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "common/command_line.h"
#include "common/console_texts.h"
#include "common/explained_error.h"
#include "common/pacing.h"
#include "common/precise_sleep.h"
#include "common/progress_line.h"
#include "common/version.h"
#include "emulator/replay_loop.h"
#include "emulator/replay_options.h"
#include "emulator/replay_speed.h"
#include "formats/dump_file_errors.h"
#include "formats/dump_frames.h"
#include "formats/input_file.h"

namespace vove {

namespace options = boost::program_options;

namespace {

struct CommandLine {
  std::string path;
  ReplayOptions replay;
};

template <class T>
std::optional<T> value_of(const options::variables_map& values, const char* name) {
  if (values.count(name) == 0) return std::nullopt;
  return values[name].as<T>();
}

// The input path and the replay options, or the exit code when the program
// is to end at once: 1 after help or a rejected command line, 0 after the
// version.
std::variant<CommandLine, int> parse_command_line(int argc, const char* const argv[]) {
  try {
    CommandLine command_line;
    std::string& path = command_line.path;
    options::options_description description("Allowed options", 80, 40);
    description.add_options()("help", "Produce help message")("version", "Print the version and exit")(
        "input-file", options::value<std::string>(&path)->required(), "Input file name");
    description.add_options()("loop", "Start again at the first frame at the end, until Ctrl+C");
    const std::string speed_help =
        "Replay X times as fast, " + number_text(slowest_speed) + " to " + number_text(fastest_speed) + " (default 1)";
    description.add_options()("speed", options::value<double>()->value_name("X"), speed_help.c_str());
    description.add_options()("from", options::value<double>()->value_name("S"), "Start S seconds into the recording");
    description.add_options()("to", options::value<double>()->value_name("S"), "End S seconds into the recording");

    options::variables_map values;
    store_command_line(argc, argv, description, values);
    // Before notify, so that --help works without the required input file.
    if (values.count("help") != 0) {
      std::cout << help_heading("emulator") << "\n" << description << "\n";
      return console_text::help_exit_code;
    }
    if (values.count("version") != 0) {
      std::cout << version_line("emulator") << std::endl;
      return 0;
    }
    options::notify(values);
    command_line.replay.loop = values.count("loop") != 0;
    command_line.replay.speed = value_of<double>(values, "speed");
    command_line.replay.from = value_of<double>(values, "from");
    command_line.replay.to = value_of<double>(values, "to");
    check_replay_options(command_line.replay);
    return command_line;
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  }
}

// A file that cannot be opened has always been reported as no dump; the
// line after it says why, and which file.
std::unique_ptr<DumpFrames> open_recording(const std::string& path) {
  std::ifstream stream;
  try {
    stream = open_input_file(path);
  } catch (const DumpInputError& error) {
    throw DumpInputError(DumpErrorKind::io, std::string(console_text::invalid_file_format), path, error.system_code(),
                         reason_line(file_failure(error.system_code().value(), path)));
  }
  return std::make_unique<DumpFrames>(std::move(stream));
}

// What the library's wording for a missing key means to the user.
std::string unknown_source_explanation(const SourceId& source_id, const ProducerTable& table) {
  std::string known;
  for (const auto& [id, producer] : table) {
    if (!known.empty()) known += id == table.rbegin()->first ? " and " : ", ";
    known += source_id_text(id, SourceIdStyle::quoted);
  }
  return "The file's source id is " + source_id_text(source_id, SourceIdStyle::quoted) + "; this build replays " +
         known + ".";
}

void report_damage(const DumpFrames& frames) {
  const auto& damage = frames.index().damage();
  if (!damage) return;
  std::cout << "The recording is damaged at frame " << damage->frame << " (byte " << damage->offset
            << "): " << damage->reason << "; "
            << (frames.size() == 1 ? std::string("the frame before it is replayed")
                                   : "the " + std::to_string(frames.size()) + " frames before it are replayed")
            << std::endl;
}

// Declaration order is teardown order in reverse: the console and the
// progress line go first, then the selected producer's extra reference,
// then the frames and their file, then the table with every producer, so a
// started producer has released its shared memory before anything more is
// printed.
void replay(const CommandLine& command_line, const EmulatorDependencies& dependencies) {
  ProducerTable table = dependencies.make_table();
  const std::unique_ptr<DumpFrames> frames = open_recording(command_line.path);
  const ReplayPlan plan = plan_replay(*frames, command_line.path, command_line.replay);

  const SourceId source_id = frames->header().source_id;
  const auto entry = table.find(source_id);
  if (entry == table.end())
    throw ExplainedError<std::out_of_range>(std::string(console_text::unknown_source),
                                            unknown_source_explanation(source_id, table));
  const std::shared_ptr<Producer> producer = entry->second;

  std::cout << "Using emulator: " << source_id_text(source_id, SourceIdStyle::as_stored) << std::endl;
  if (plan.first < plan.end) producer->prepare(frames->read(plan.first));
  producer->start();
  const StopSignal stop = dependencies.make_stop_signal();
  std::cout << "Frames per second: " << static_cast<std::int32_t>(frames->header().fps) << std::endl;
  report_damage(*frames);
  std::cout << "Emulator started" << std::endl;

  platform::ConsoleInput console = dependencies.open_console();
  ProgressLine progress;
  ReplaySession session(*producer, *frames, plan, ReplayTiming{SteadyClock{}, precise_sleep}, progress, std::cout);
  session.run(stop, [&console] { return console.read_key(); });
}

}  // namespace

int run_emulator(int argc, const char* const argv[], const EmulatorDependencies& dependencies) {
  const std::variant<CommandLine, int> command_line = parse_command_line(argc, argv);
  if (const int* exit_code = std::get_if<int>(&command_line)) return *exit_code;

  try {
    replay(std::get<CommandLine>(command_line), dependencies);
  } catch (const RejectedOption& error) {
    // Found only once the recording is known, but still the command line's
    // fault: reported like it, before anything is started.
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  } catch (const std::exception& error) {
    // Unwinding has already closed the file and destroyed the producers.
    report_error(std::cout, error);
  }
  // Asked to end by SIGTERM or SIGHUP: with the names released by now, the
  // process ends by that signal, without the closing lines.
  end_if_termination_requested();
  std::cout << console_text::emulator_stopped << std::endl;
  std::cout << console_text::close_window << std::endl;
  return 0;
}

}  // namespace vove
