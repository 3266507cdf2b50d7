#include "dumptool/dumptool_entry.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/platform/platform.h"
#include "common/version.h"
#include "dumptool/command.h"
#include "dumptool/commands.h"

namespace vove {

namespace {

void print_usage(std::ostream& out) {
  out << "Usage: dumptool <command> [options]\n"
         "       dumptool <command> --help\n"
         "       dumptool --version\n\nCommands:\n";
  std::size_t width = 0;
  for (const Command& command : dumptool_commands()) width = std::max(width, command.name.size());
  for (const Command& command : dumptool_commands()) {
    out << "  " << command.name << std::string(width - command.name.size() + 2, ' ') << command.summary << '\n';
  }
  out.flush();
}

}  // namespace

int run_help_command(const std::vector<std::string>& /*arguments*/) {
  std::cout << help_heading("dumptool") << '\n';
  print_usage(std::cout);
  return exit_success;
}

int run_dumptool(int argc, const char* const argv[]) {
  platform::use_binary_standard_output();  // texts and CSV leave exactly as written
  if (argc < 2) {
    print_usage(std::cerr);
    return exit_bad_command_line;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h") return run_help_command({});
  if (name == "--version") {
    std::cout << version_line("dumptool") << std::endl;
    return exit_success;
  }
  const auto commands = dumptool_commands();
  const auto command =
      std::find_if(commands.begin(), commands.end(), [&](const Command& candidate) { return candidate.name == name; });
  if (command == commands.end()) {
    std::cerr << "Error: unknown command '" << name << "'; 'dumptool --help' lists the commands" << std::endl;
    return exit_bad_command_line;
  }
  return command->run(std::vector<std::string>(argv + 2, argv + argc));
}

}  // namespace vove
