// sim_standin: publishes simulator-shaped telemetry under the simulators'
// own shared-memory names, so the recorder and the replay can be shown,
// tested end to end and measured without a simulator.
//
//   --sim iracing|acc|ac1|acevo|lmu|rf2|ams2|r3e|rf1
//                        which simulator to stand in for (default iracing)
//   --rate HZ            updates per second, above 0 up to 1000 (default 60);
//                        rf2 keeps the plugin's own rate for each buffer
//   --seconds S          run S seconds, then exit 0 (default: until Ctrl+C/SIGTERM)
//   --pause-after S      after S seconds stop producing: iracing clears the
//                        connected bit, acc and ac1 set sim_status to 0, rf2,
//                        r3e, acevo and rf1 stop writing, ams2 sets mGameState
//                        to 3
//   --resume-after S     S seconds into the pause produce again; iracing
//                        restarts with lower tick counts, as after a restart
//   --exit-after-pause   exit when the pause begins (status cleared first)
//   --ticks-start N      iracing: tick count of the first row (default 1); the
//                        counter wraps as a 32-bit value
//   --no-signal          iracing: never signal the data-valid event. By default
//                        it is signalled after every row; an event nobody waits
//                        for then stays signalled until the next wait
//   --lap-seconds S,S,.. iracing: the lap times the car drives in turn, in
//                        simulated seconds, so a recording's laps are known
//   --track-length M     iracing: the track's length in metres (whole tens);
//                        by default one that fits the lap times at ~45 m/s
//   --stamped-rows       fault tests: one buffer rewritten in place with a
//                        stamp at both ends (iracing: a 1 MiB row; rf2
//                        Telemetry, ams2, r3e, rf1, lmu: 400 times a second)
//   --help               print the options and exit 0
// Values may follow as "--rate 30" or "--rate=30". A bad command line exits
// with 1 and a message on standard error, as does a failure to publish.
#include <atomic>
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/stop_signal.h"
#include "tools/sim_standin/standin_options.h"

using namespace vove;

namespace {

std::atomic<bool> termination_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_termination_request(int) { termination_requested.store(true); }

}  // namespace

int main(int argc, char* argv[]) {
  StandinCommand command;
  try {
    const std::vector<std::string> arguments =
        argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    command = parse_standin_command_line(arguments);
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << "\n" << standin_usage() << std::flush;
    return 1;
  }
  if (command.show_usage) {
    std::cout << standin_usage() << std::flush;
    return 0;
  }

  try {
    const StopSignal interrupt;
    // Installed before any name exists, so SIGTERM ends the loop like
    // Ctrl+C and the names are released on the way out.
    std::signal(SIGTERM, on_termination_request);
    const StandinStop stop{interrupt, termination_requested};
    switch (command.options.simulator) {
      case StandinSimulator::acc: return run_acc_standin(command.options, stop);
      case StandinSimulator::ac1: return run_ac1_standin(command.options, stop);
      case StandinSimulator::acevo: return run_acevo_standin(command.options, stop);
      case StandinSimulator::rf2: return run_rf2_standin(command.options, stop);
      case StandinSimulator::ams2: return run_ams2_standin(command.options, stop);
      case StandinSimulator::r3e: return run_r3e_standin(command.options, stop);
      case StandinSimulator::rf1: return run_rf1_standin(command.options, stop);
      case StandinSimulator::lmu: return run_lmu_standin(command.options, stop);
      case StandinSimulator::iracing: break;
    }
    return run_iracing_standin(command.options, stop);
  } catch (const std::exception& error) {
    std::cerr << "sim_standin: " << error.what() << std::endl;
    return 1;
  }
}
