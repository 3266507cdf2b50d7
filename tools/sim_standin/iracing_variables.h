// The telemetry variables the iRacing stand-in publishes: their table, the
// 144-byte variable headers that describe them, and the data row built
// from them for a tick.
// (The header layout is in formats/iracing_variable_table.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/iracing_layout.h"
#include "formats/iracing_variable_table.h"
#include "tools/sim_standin/standin_drive.h"

namespace iRacing {

// How a variable's values move from tick to tick.
enum class SignalKind {
  wave,            // base + amplitude * sine of the time, plus noise
  constant,        // always base
  session_time,    // seconds since the session started
  session_tick,    // the tick count itself
  lap,             // the lap being driven, from 1
  lap_fraction,    // position on the lap, 0 to 1
  lap_distance,    // metres into the lap
  lap_time,        // seconds into the lap
  speed,           // metres per second along the lap's speed profile
  engine_speed,    // revolutions per minute that go with the speed and gear
  gear,            // the gear that goes with the speed
  throttle,        // 0 to 1
  brake,           // 0 to 1
  last_lap_time,   // seconds of the lap before, 0 before the first is done
  best_lap_time,   // fastest complete lap, 0 before the first is done
  best_lap_number, // the lap that set the fastest time
};

struct Signal {
  SignalKind kind = SignalKind::wave;
  double base = 0.0;
  double amplitude = 0.0;
  double period_seconds = 10.0;
  double noise = 0.0;  // added uniform noise of up to this much either way
};

struct StandinVariable {
  std::string name;         // at most 31 characters
  std::string description;  // at most 63
  std::string unit;         // at most 31
  VariableType type = VariableType::float32;
  std::int32_t count = 1;
  bool count_as_time = false;
  std::int32_t row_offset = 0;  // set by the table: each value aligned to its size
  Signal signal;
};

// The stand-in's variable set, a few hundred entries laid out one after
// another in the row, each aligned to its element size.
const std::vector<StandinVariable>& standin_variables();

// Bytes of one data row for `variables`: the end of the last value,
// rounded up to 16.
std::int32_t standin_row_length(const std::vector<StandinVariable>& variables) noexcept;

// Writes the 144-byte header of `variable` at `destination`.
void encode_variable_header(std::byte* destination, const StandinVariable& variable) noexcept;

// Writes the headers of all `variables`, one after another; `destination`
// must hold 144 bytes per variable.
void encode_variable_headers(std::span<std::byte> destination, const std::vector<StandinVariable>& variables);

// Fills `row` (at least standin_row_length bytes) with the values of all
// `variables` at `tick`, with the tick rate `tick_rate`. The same tick
// gives the same bytes; successive ticks differ in many of them.
void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate);
// The same with the car driving `laps`.
void fill_standin_row(std::span<std::byte> row, const std::vector<StandinVariable>& variables, std::int32_t tick,
                      double tick_rate, const StandinLaps& laps);

}  // namespace iRacing
