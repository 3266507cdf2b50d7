// The replay program: command line, then the replay phase with its
// messages, teardown and exit code.
#pragma once

#include <functional>

#include "common/platform/platform.h"
#include "common/stop_signal.h"
#include "emulator/producer_table.h"

namespace vove {

// What the program builds for itself, replaceable so that the whole program
// can run inside a test with fake producers and a stop flag of its own (the
// process-wide one is never cleared again once set).
struct EmulatorDependencies {
  std::function<ProducerTable()> make_table = make_producer_table;
  // Called once the producer is started; installs the interrupt handler.
  std::function<StopSignal()> make_stop_signal = [] { return StopSignal(); };
  // Where the user's keys come from.
  std::function<platform::ConsoleInput()> open_console = platform::ConsoleInput::open_standard_input;
};

// Runs the program; returns its exit code: 1 for --help, a bad command line
// or a range outside the recording, otherwise 0 (--version, or a replay,
// also one that ended with an error).
int run_emulator(int argc, const char* const argv[], const EmulatorDependencies& dependencies = {});

}  // namespace vove
