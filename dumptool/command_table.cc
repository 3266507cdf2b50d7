#include "dumptool/command.h"

#include <array>

#include "dumptool/commands.h"

std::span<const Command> dumptool_commands() {
  static const std::array table{
      Command{"help", "list the commands", run_help_command},
  };
  return table;
}
