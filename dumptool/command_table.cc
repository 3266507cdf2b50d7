#include "dumptool/command.h"

#include <array>

#include "dumptool/commands.h"

namespace vove {

std::span<const Command> dumptool_commands() {
  static const std::array table{
      Command{"help", "list the commands", run_help_command},
      Command{"info", "what a recording holds and whether it is intact", run_info_command},
      Command{"vars", "the variable table of an iRacing recording", run_vars_command},
      Command{"session", "the session text in force at a moment, or one value of it", run_session_command},
      Command{"csv", "the recorded values as CSV, one line per frame", run_csv_command},
      Command{"cut", "a range of a recording as a recording of its own", run_cut_command},
      Command{"repair", "the readable records of a damaged recording as a new file", run_repair_command},
      Command{"report", "write a lap report of an iRacing recording as one HTML page", run_report_command},
      Command{"to-ibt", "write an iRacing recording as a .ibt telemetry file", run_to_ibt_command},
      Command{"from-ibt", "turn a .ibt telemetry file into a recording to replay", run_from_ibt_command},
  };
  return table;
}

}  // namespace vove
