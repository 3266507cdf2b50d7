// The recorder's main phase: wait for a source, record it into a new dump
// file until it goes down, and again, until a stop is requested.
#pragma once

#include <chrono>
#include <vector>
#include <string>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>

#include "common/pacing.h"
#include "common/stop_signal.h"
#include "dumper/sources.h"

namespace vove {

// Everything the cycle takes from its surroundings; the program uses
// default_recording_environment(), tests replace parts of it.
struct RecordingEnvironment {
  SourceList sources;
  SteadyClock clock;
  Sleeper sleeper;
  std::function<std::chrono::system_clock::time_point()> wall_clock;
  std::filesystem::path directory;  // empty: the working directory
  std::function<std::unique_ptr<std::filebuf>()> make_file_buffer;
  std::ostream* console = &std::cout;
  std::ostream* diagnostics = &std::cerr;  // remarks that are not part of the console's transcript
};

// What the command line asks of the recording.
struct RecordingSettings {
  std::int32_t fps = 5;                      // 1 to 60
  std::chrono::duration<double> idle_end{};  // above 0: a source that publishes nothing new this long counts as down
  // Named mappings of any program to record instead of the simulators;
  // empty: poll for the simulators.
  std::vector<std::string> shm_names;
};

// The real sources, clocks and sleep, files in the working directory.
RecordingEnvironment default_recording_environment();

// Runs the cycle on the real environment. Returns once a stop has been
// seen; any error ends the cycle with an exception (dump files are closed
// and keep their complete records).
void run_recording_cycle(const StopSignal& stop, const RecordingSettings& settings);

void run_recording_cycle(const StopSignal& stop, const RecordingSettings& settings, RecordingEnvironment environment);

}  // namespace vove
