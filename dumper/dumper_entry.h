// The recorder's entry: command line, rate check, and the main phase inside
// the one place that reports errors and picks the exit code.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>

#include "dumper/recording_cycle.h"

namespace vove {

// The main phase for accepted settings; the program installs the interrupt
// handler and runs the recording cycle.
using DumperMainPhase = std::function<void(const RecordingSettings& settings)>;

void run_dumper_main_phase(const RecordingSettings& settings);

// Exit code 1 after help, a rejected command line, a rate outside 1..60 or
// an idle end that is not a number of seconds in (0, 86400];
// 0 otherwise (--version, or the main phase, also one that failed: the
// error is printed).
int run_dumper(int argc, const char* const* argv, std::ostream& out = std::cout, std::ostream& err = std::cerr,
               const DumperMainPhase& main_phase = run_dumper_main_phase);

}  // namespace vove
