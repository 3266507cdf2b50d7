// dumptool report FILE -o report.html [--laps N,M,...]: a lap report of an
// iRacing or ACC recording as one self-contained HTML page.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <boost/program_options.hpp>

#include "common/progress_line.h"
#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/report_content.h"
#include "dumptool/report_page.h"
#include "dumptool/report_samples.h"

namespace vove {

namespace {

constexpr std::string_view usage = "report FILE -o REPORT.html [--laps N,M,...] [--force]";

constexpr std::string_view report_about =
    "Writes a lap report of an iRacing or ACC recording: one HTML page with the session, the laps\n"
    "and their times, and charts of the chosen laps against lap distance.";

// The layout the report's help and errors have always had.
constexpr dumptool::CommandLineLayout layout{.short_help = false,
                                             .line_length = 80,
                                             .description_length = 40,
                                             .blank_line_after_usage = false,
                                             .help_hint_in_errors = false,
                                             .one_file = false};

// "3,5,7" in lap numbers; throws std::invalid_argument naming the option.
std::vector<int> parse_lap_list(const std::string& text) {
  std::vector<int> laps;
  std::size_t begin = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    int number = 0;
    const char* first = text.data() + begin;
    const char* last = text.data() + comma;
    const auto [end, error] = std::from_chars(first, last, number);
    if (first == last || error != std::errc{} || end != last || number < 0) {
      throw std::invalid_argument("the value of --laps must be lap numbers separated by commas, such as 3,5, not '" +
                                  text + "'");
    }
    laps.push_back(number);
    if (comma == text.size()) return laps;
    begin = comma + 1;
  }
}

int run_report(const dumptool::CommandLine& command_line, const std::optional<std::vector<int>>& chosen_laps) {
  using dumptool::UsageError;
  const std::filesystem::path input = command_line.files().front();
  const std::filesystem::path output_path = command_line.values()["output"].as<std::string>();

  ReportRecording recording;
  try {
    ProgressLine progress;
    progress.show_after(std::chrono::seconds{1});  // an hour-long recording takes a while
    recording = read_report_recording(input, &progress);
  } catch (const ReportNotAvailable& error) {
    throw UsageError(error.what());
  } catch (const std::exception& error) {
    throw std::runtime_error("cannot read '" + input.string() + "': " + error.what());
  }

  try {
    const ReportContent content = build_report_content(recording, input.filename().string(), chosen_laps);
    // Written under a temporary name and moved into place when whole; never
    // over the recording, nor over a file that exists unless --force.
    const auto output = dumptool::create_output(input, output_path, command_line.has("force"));
    output->stream() << render_report_page(content);
    dumptool::commit_output(*output);
    std::size_t complete = 0;
    for (const LapRecord& lap : content.laps.laps) complete += lap.complete ? 1 : 0;
    std::cout << "Report written to " << output_path.string() << " (" << content.laps.laps.size() << " laps, "
              << complete << " complete)" << std::endl;
    for (const std::string& note : content.notes) std::cerr << "Note: " << note << "\n";
    std::cerr.flush();
  } catch (const std::invalid_argument& error) {  // a lap that cannot be charted
    throw UsageError(error.what());
  } catch (const std::bad_alloc& error) {
    // Said as the report always said it, not as "out of memory".
    throw std::runtime_error(error.what());
  }
  return recording.damage ? exit_damaged_input : exit_success;
}

}  // namespace

int run_report_command(const std::vector<std::string>& arguments) {
  dumptool::CommandLine command_line(usage, report_about, layout);
  command_line.add_options()("output,o", boost::program_options::value<std::string>(),
                             "the HTML file to write (required)")("force", "replace REPORT.html when it exists")(
      "laps", boost::program_options::value<std::string>(),
      "lap numbers to chart, such as 3,5 (default: the best and the last complete lap); the best lap is "
      "always charted, as the reference of the time delta");
  if (const auto code = command_line.parse(arguments)) return *code;
  const std::size_t files = command_line.files().size();
  if (files != 1) return command_line.reject(files == 0 ? "no recording given" : "more than one recording given");
  if (!command_line.has("output")) return command_line.reject("no report file given (-o REPORT.html)");
  std::optional<std::vector<int>> chosen_laps;
  if (command_line.has("laps")) {
    try {
      chosen_laps = parse_lap_list(command_line.values()["laps"].as<std::string>());
    } catch (const std::invalid_argument& error) {
      return command_line.reject(error.what());
    }
  }
  return dumptool::run_guarded([&] { return run_report(command_line, chosen_laps); });
}

}  // namespace vove
