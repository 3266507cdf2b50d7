// Walks the frames of a dump file into the selected producer at the
// file's rate.
#pragma once

#include <cstdint>

#include "common/pacing.h"
#include "common/stop_signal.h"
#include "formats/dump_reader.h"
#include "emulator/emulator.h"

enum class ReplayEnd { end_of_file, stopped };

// Reads a frame, writes it into `producer`, sleeps the rest of the period
// at `fps` hertz (never for a rate of 0 or less) and repeats, until the file
// ends (printing "Emulator reached end of file") or a stop is requested.
// Every frame read is written before the stop is looked at. Errors of the
// reader and the producer pass through.
ReplayEnd run_replay_loop(const StopSignal& stop, Emulator& producer, DumpReader& reader,
                          std::int32_t fps, const SteadyClock& clock, const Sleeper& sleeper);
