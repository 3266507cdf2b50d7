// Options of the simulator stand-in, shared by its publishers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/stop_signal.h"

namespace vove {

enum class StandinSimulator { iracing, acc, ac1, acevo, lmu, rf2, ams2, r3e, rf1 };

struct StandinOptions {
  StandinSimulator simulator = StandinSimulator::iracing;
  double rate_hz = 60.0;              // updates per second
  double run_seconds = 0.0;           // 0: until SIGINT or SIGTERM
  double pause_after_seconds = 0.0;   // 0: never pause
  double resume_after_seconds = 0.0;  // 0: stay paused; else seconds after the pause began
  bool exit_after_pause = false;      // leave as soon as the pause begins
  std::int32_t ticks_start = 1;       // iRacing: tick count of the first row
  bool signal_event = true;           // iRacing: signal the data-valid event after each row
  std::vector<double> lap_seconds;    // iRacing: the lap times driven in turn; empty: the default lap
  double track_length_metres = 0.0;   // iRacing: 0: the length that fits the lap times
  double session_text_seconds = 4.0;  // iRacing: the session text is rewritten this often
  // For fault tests. iRacing: one row slot of 1 MiB rewritten in place, its
  // tick cleared while the row changes and stamped at both ends of the row.
  // rF2 (Telemetry), AMS2, RaceRoom, rFactor 1 and LMU: one buffer rewritten
  // 400 times a second, a counter stamped at both ends of what a reader copies.
  bool stamped_rows = false;
  // iRacing, for fault tests: every other stretch of updates publishes a
  // header with impossible offsets, lengths and counts.
  bool nonsense_headers = false;
};

// How often --stamped-rows rewrites its buffer: fast enough that a reader's
// copies overlap rewrites now and then.
constexpr int stamped_updates_per_second = 400;

// What the command line asks for: run with options, or print the usage.
struct StandinCommand {
  bool show_usage = false;
  StandinOptions options;
};

// Parses the arguments after the program name. Accepts "--name value" and
// "--name=value"; throws std::invalid_argument with a readable message for
// anything unknown, malformed or contradictory.
StandinCommand parse_standin_command_line(const std::vector<std::string>& arguments);

// The option summary printed for --help.
const char* standin_usage();

// Why the stand-in should stop: Ctrl+C, seen through `interrupt`, or a
// termination request, which main's own handler records in `terminate`.
struct StandinStop {
  const StopSignal& interrupt;
  const std::atomic<bool>& terminate;

  bool requested() const noexcept { return interrupt.stop_requested() || terminate.load(); }
};

// The publishers; each returns the exit code and throws std::exception
// for what keeps it from publishing.
int run_iracing_standin(const StandinOptions& options, const StandinStop& stop);
int run_acc_standin(const StandinOptions& options, const StandinStop& stop);
int run_ac1_standin(const StandinOptions& options, const StandinStop& stop);
int run_acevo_standin(const StandinOptions& options, const StandinStop& stop);
int run_rf2_standin(const StandinOptions& options, const StandinStop& stop);
int run_ams2_standin(const StandinOptions& options, const StandinStop& stop);
int run_r3e_standin(const StandinOptions& options, const StandinStop& stop);
int run_rf1_standin(const StandinOptions& options, const StandinStop& stop);
int run_lmu_standin(const StandinOptions& options, const StandinStop& stop);

}  // namespace vove
