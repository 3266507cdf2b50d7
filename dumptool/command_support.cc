#include "dumptool/command_support.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <utility>

#include "dumptool/command.h"
#include "formats/dump_file_errors.h"
#include "formats/input_file.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

CommandLine::CommandLine(std::string_view usage, std::string_view about, const CommandLineLayout& layout)
    : usage_(usage),
      about_(about),
      layout_(layout),
      options_("Options", layout.line_length, layout.description_length) {
  options_.add_options()(layout.short_help ? "help,h" : "help", "print this help");
}

std::optional<int> CommandLine::parse(const std::vector<std::string>& arguments) {
  options::options_description hidden;
  if (layout_.one_file) {
    hidden.add_options()("file", options::value<std::string>());
  } else {
    hidden.add_options()("file", options::value<std::vector<std::string>>());
  }
  options::options_description all;
  all.add(options_).add(hidden);
  options::positional_options_description positionals;
  positionals.add("file", layout_.one_file ? 1 : -1);
  try {
    options::store(options::command_line_parser(arguments).options(all).positional(positionals).run(), values_);
    if (has("help")) {
      std::cout << "Usage: dumptool " << usage_ << (layout_.blank_line_after_usage ? "\n\n" : "\n") << about_ << "\n\n"
                << options_ << std::flush;
      return exit_success;
    }
    options::notify(values_);
    if (layout_.one_file && !has("file")) throw options::error("the recording FILE is missing");
  } catch (const options::error& error) {
    return reject(error.what());
  }
  if (!layout_.one_file) {
    if (has("file")) files_ = values_["file"].as<std::vector<std::string>>();
    return std::nullopt;
  }
  file_ = values_["file"].as<std::string>();
  return std::nullopt;
}

int CommandLine::reject(std::string_view reason) const {
  std::cerr << "Error: " << reason << "\nUsage: dumptool " << usage_;
  if (layout_.help_hint_in_errors) std::cerr << " ('--help' explains)";
  std::cerr << std::endl;
  return exit_bad_command_line;
}

std::ifstream open_input_file(const std::filesystem::path& path) {
  try {
    return vove::open_input_file(path);
  } catch (const DumpInputError& error) {
    throw UsageError(error.what());
  }
}

std::unique_ptr<DumpFrames> open_recording(const std::filesystem::path& path) {
  std::ifstream stream = open_input_file(path);
  try {
    return std::make_unique<DumpFrames>(std::move(stream));
  } catch (const DumpInputError& error) {
    if (error.kind() != DumpErrorKind::not_a_dump) throw;
    throw DumpInputError(DumpErrorKind::not_a_dump,
                         path.string() + " is not a recording: it does not start with a dump header", path.string());
  }
}

double seconds_option(const options::variables_map& values, const char* name, double fallback) {
  if (values.count(name) == 0) return fallback;
  const double seconds = values[name].as<double>();
  if (!std::isfinite(seconds) || seconds < 0.0) {
    throw UsageError(std::string("--") + name + " must be a number of seconds, 0 or more");
  }
  return seconds;
}

FrameRange select_frames(const DumpFrames& frames, const options::variables_map& values) {
  const double from = seconds_option(values, "from", 0.0);
  const double to = seconds_option(values, "to", std::numeric_limits<double>::infinity());
  if (values.count("to") != 0 && !(to > from)) throw UsageError("--to must be later than --from");
  const std::size_t readable = frames.size();
  if (readable == 0) {
    if (const auto& damage = frames.index().damage()) {
      throw std::runtime_error("no frame can be read: frame 0 (record at byte " + std::to_string(damage->offset) +
                               ") is damaged: " + damage->reason);
    }
    throw UsageError("the recording holds no frames");
  }
  FrameRange range;
  range.first = frames.frame_at(from);
  range.end = values.count("to") != 0 ? frames.frame_at(to) : readable;
  if (range.first >= range.end) {
    throw UsageError("no frame lies in the range asked for: the recording's " + std::to_string(readable) +
                     " readable frames span 0 to " + seconds_text(frames.seconds_of(readable - 1)) + " s");
  }
  return range;
}

std::unique_ptr<ReplacingFile> create_output(const std::filesystem::path& input, const std::filesystem::path& output,
                                             bool force) {
  if (is_same_existing_file(input, output)) {
    throw UsageError("The output " + output.string() + " is the input file; choose another name");
  }
  try {
    return std::make_unique<ReplacingFile>(output,
                                           force ? ReplacingFile::Existing::replace : ReplacingFile::Existing::refuse);
  } catch (const std::runtime_error& error) {
    throw UsageError(error.what());
  }
}

void commit_output(ReplacingFile& output) {
  try {
    output.commit();
  } catch (const std::runtime_error& error) {
    throw UsageError(error.what());
  }
}

void report_error(std::string_view message) { std::cerr << "Error: " << message << std::endl; }

int run_guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const UsageError& error) {
    std::cout.flush();
    report_error(error.what());
    return exit_bad_command_line;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    report_error("out of memory");
    return exit_damaged_input;
  } catch (const std::exception& error) {
    std::cout.flush();
    report_error(error.what());
    return exit_damaged_input;
  }
}

std::string printable_text(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return result;
}

std::string seconds_text(double seconds) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, seconds);
  return std::string(text, result.ptr);
}

}  // namespace dumptool

}  // namespace vove
