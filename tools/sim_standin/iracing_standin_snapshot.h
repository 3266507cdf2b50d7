// The iRacing stand-in's telemetry at one tick as a frame in memory, built
// without shared memory: for tests and benchmarks that need recordings of
// known content.
#pragma once

#include <cstdint>
#include <string>

#include "formats/iracing_snapshot.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove::iracing {

// The stand-in's header (connected, session text update 1, slot 0 at
// `tick`), its variable headers, the row of `tick` with the car driving
// `laps`, and `session_text` (empty: this frame carries none).
Snapshot standin_snapshot(std::int32_t tick, const StandinLaps& laps, std::string session_text);

}  // namespace vove::iracing
