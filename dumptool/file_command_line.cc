#include "dumptool/file_command_line.h"

#include <iostream>

#include "dumptool/command.h"

namespace options = boost::program_options;

std::optional<FileCommandLine> parse_file_command_line(const std::vector<std::string>& arguments,
                                                       std::string_view usage,
                                                       const options::options_description& command_options,
                                                       int& exit_code) {
  FileCommandLine command_line;
  options::options_description visible("Options");
  visible.add_options()("help", "show this help")("output,o", options::value(&command_line.output),
                                                  "the file to write (required)");
  // One table, without a gap between the shared options and the command's own.
  for (const auto& option : command_options.options()) visible.add(option);
  options::options_description all;
  all.add(visible).add_options()("input", options::value(&command_line.input));
  options::positional_options_description positional;
  positional.add("input", 1);

  try {
    options::store(options::command_line_parser(arguments).options(all).positional(positional).run(),
                   command_line.values);
    if (command_line.values.count("help") != 0) {
      std::cout << usage << "\n\n" << visible << std::flush;
      exit_code = exit_success;
      return std::nullopt;
    }
    options::notify(command_line.values);
    if (command_line.input.empty()) throw options::error("no input file given");
    if (command_line.output.empty()) throw options::error("the option '--output' (-o) is required but missing");
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    exit_code = exit_bad_command_line;
    return std::nullopt;
  }
  return command_line;
}
