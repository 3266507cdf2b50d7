// One job of dumptool: a name, a line of help, and what runs it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vove {

// Exit codes every command keeps: a damaged input still gets what could be
// done, and says so, but is not success.
inline constexpr int exit_success = 0;
inline constexpr int exit_bad_command_line = 1;
inline constexpr int exit_damaged_input = 2;
// session --query: the session text holds nothing under the path asked for.
inline constexpr int exit_not_found = 3;

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for `dumptool --help`
  // Runs the command with the words after its name; returns the exit code.
  // Prints its own --help and command-line errors.
  int (*run)(const std::vector<std::string>& arguments);
};

// Every command, in the order `dumptool --help` lists them.
std::span<const Command> dumptool_commands();

}  // namespace vove
