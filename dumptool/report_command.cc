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

namespace {

namespace po = boost::program_options;

constexpr const char* usage_line = "Usage: dumptool report FILE -o REPORT.html [--laps N,M,...] [--force]\n";

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

}  // namespace

int run_report_command(const std::vector<std::string>& arguments) {
  po::options_description table("Options");
  table.add_options()
      ("help", "print this help")
      ("output,o", po::value<std::string>(), "the HTML file to write (required)")
      ("force", "replace REPORT.html when it exists")
      ("laps", po::value<std::string>(), "lap numbers to chart, such as 3,5 (default: the best and the last "
                                         "complete lap); the best lap is always charted, as the reference of "
                                         "the time delta");
  po::options_description hidden;
  hidden.add_options()("file", po::value<std::vector<std::string>>());
  po::options_description all;
  all.add(table).add(hidden);
  po::positional_options_description positionals;
  positionals.add("file", -1);

  po::variables_map values;
  std::optional<std::vector<int>> chosen_laps;
  try {
    po::store(po::command_line_parser(arguments).options(all).positional(positionals).run(), values);
    if (values.count("help") != 0) {
      std::cout << usage_line
                << "Writes a lap report of an iRacing or ACC recording: one HTML page with the session, the laps\n"
                   "and their times, and charts of the chosen laps against lap distance.\n\n"
                << table << std::flush;
      return exit_success;
    }
    const auto files = values.count("file") != 0 ? values["file"].as<std::vector<std::string>>()
                                                  : std::vector<std::string>();
    if (files.size() != 1) throw std::invalid_argument(files.empty() ? "no recording given" : "more than one recording given");
    if (values.count("output") == 0) throw std::invalid_argument("no report file given (-o REPORT.html)");
    if (values.count("laps") != 0) chosen_laps = parse_lap_list(values["laps"].as<std::string>());
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << "\n" << usage_line << std::flush;
    return exit_bad_command_line;
  }

  const std::filesystem::path input = values["file"].as<std::vector<std::string>>().front();
  const std::filesystem::path output_path = values["output"].as<std::string>();

  ReportRecording recording;
  try {
    ProgressLine progress;
    progress.show_after(std::chrono::seconds{1});  // an hour-long recording takes a while
    recording = read_report_recording(input, &progress);
  } catch (const ReportNotAvailable& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return exit_bad_command_line;
  } catch (const std::exception& error) {
    std::cerr << "Error: cannot read '" << input.string() << "': " << error.what() << std::endl;
    return exit_damaged_input;
  }

  try {
    const ReportContent content =
        build_report_content(recording, input.filename().string(), chosen_laps);
    // Written under a temporary name and moved into place when whole; never
    // over the recording, nor over a file that exists unless --force.
    const auto output = dumptool::create_output(input, output_path, values.count("force") != 0);
    output->stream() << render_report_page(content);
    dumptool::commit_output(*output);
    std::size_t complete = 0;
    for (const LapRecord& lap : content.laps.laps) complete += lap.complete ? 1 : 0;
    std::cout << "Report written to " << output_path.string() << " (" << content.laps.laps.size() << " laps, "
              << complete << " complete)" << std::endl;
    for (const std::string& note : content.notes) std::cerr << "Note: " << note << "\n";
    std::cerr.flush();
  } catch (const std::invalid_argument& error) {  // a lap that cannot be charted
    std::cerr << "Error: " << error.what() << std::endl;
    return exit_bad_command_line;
  } catch (const dumptool::UsageError& error) {  // the output cannot be written
    std::cerr << "Error: " << error.what() << std::endl;
    return exit_bad_command_line;
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return exit_damaged_input;
  }
  return recording.damage ? exit_damaged_input : exit_success;
}
