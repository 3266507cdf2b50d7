// What the dumptool commands share: parsing a command line with one input
// FILE, opening the recording, the output destination, and turning errors
// into the exit codes every command keeps.
#pragma once

#include <boost/program_options.hpp>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/replacing_file.h"
#include "formats/dump_frames.h"

namespace vove::dumptool {

// A request the command cannot carry out as asked (exit code 1): a bad
// value, a file that cannot be opened or written, an unknown name.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How a command's help and its command-line errors are laid out. The
// defaults are every command's; `report` keeps the layout it was given first,
// which scripts and its users already know.
struct CommandLineLayout {
  bool short_help = true;              // -h as well as --help
  unsigned line_length = 100;          // of the options table
  unsigned description_length = 50;    // at least, in the options table
  bool blank_line_after_usage = true;  // in the help
  bool help_hint_in_errors = true;     // "('--help' explains)" after the usage
  bool one_file = true;                // else any number, for the command to check
};

class CommandLine {
 public:
  // `usage` is the synopsis after "dumptool ", `about` a few lines on what
  // the command does. A command takes one input FILE unless `layout` says
  // otherwise.
  CommandLine(std::string_view usage, std::string_view about, const CommandLineLayout& layout = {});

  // Where the command declares its own options.
  boost::program_options::options_description_easy_init add_options() { return options_.add_options(); }

  // Parses `arguments`. Returns the exit code when the command ends here:
  // after --help (0) or a rejected command line (1, reported on standard
  // error); nothing when it should run.
  std::optional<int> parse(const std::vector<std::string>& arguments);

  // A command line the command's own checks refuse: reported as parse()
  // reports its errors; returns the exit code (1).
  int reject(std::string_view reason) const;

  const boost::program_options::variables_map& values() const noexcept { return values_; }
  bool has(const char* name) const { return values_.count(name) != 0; }
  const std::filesystem::path& file() const noexcept { return file_; }
  // Every FILE given, when the layout takes any number of them.
  const std::vector<std::string>& files() const noexcept { return files_; }

 private:
  std::string usage_;
  std::string about_;
  CommandLineLayout layout_;
  boost::program_options::options_description options_;
  boost::program_options::variables_map values_;
  std::filesystem::path file_;
  std::vector<std::string> files_;
};

// Opens `path` as vove::open_input_file() does; UsageError, with the same
// words, when it cannot be opened or is a directory.
std::ifstream open_input_file(const std::filesystem::path& path);

// Opens and indexes the recording `path`. UsageError when it cannot be
// opened; DumpInputError (not_a_dump) "<path> is not a recording: ..." when
// it is no dump.
std::unique_ptr<DumpFrames> open_recording(const std::filesystem::path& path);

// A time option in seconds: finite and not negative, else UsageError.
double seconds_option(const boost::program_options::variables_map& values, const char* name, double fallback);

// The frames [first, end) that --from and --to select (a half-open range of
// times); UsageError when it holds no frame.
struct FrameRange {
  std::size_t first = 0;
  std::size_t end = 0;
};
FrameRange select_frames(const DumpFrames& frames, const boost::program_options::variables_map& values);

// The output file for -o OUT: refused when it is the input, and when it
// exists unless `force`. UsageError says why.
std::unique_ptr<ReplacingFile> create_output(const std::filesystem::path& input, const std::filesystem::path& output,
                                             bool force);
// Moves a finished output into place; UsageError when that fails.
void commit_output(ReplacingFile& output);

// Runs `body` and turns what it throws into an exit code, with one line on
// standard error: UsageError 1, anything else (a damaged or hostile input,
// a read error) 2.
int run_guarded(const std::function<int()>& body);

// "Error: <message>" on standard error, clear of any progress line.
void report_error(std::string_view message);

// Text from a recording, which is not trusted: control characters become
// '?', so that none reaches the terminal.
std::string printable_text(std::string_view text);

// Seconds as text, shortest form ("12.5").
std::string seconds_text(double seconds);

}  // namespace vove::dumptool
