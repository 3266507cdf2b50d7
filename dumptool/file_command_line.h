// The command line of a dumptool command that reads one file and writes
// another: `dumptool <command> FILE -o OUT [options]`.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/program_options.hpp>

struct FileCommandLine {
  std::string input;
  std::string output;
  boost::program_options::variables_map values;  // the command's own options
};

// Parses `arguments` against `options` (the command's own; -o/--output and
// --help are added here). On --help prints `usage` and the option table to
// standard output; on a rejected command line prints "Error: " and why to
// standard error. Either way returns nothing, and the command ends with
// exit_success or exit_bad_command_line as `exit_code` says.
std::optional<FileCommandLine> parse_file_command_line(const std::vector<std::string>& arguments,
                                                       std::string_view usage,
                                                       const boost::program_options::options_description& options,
                                                       int& exit_code);
