// The telemetry variables the iRacing stand-in publishes: their table, the
// 144-byte variable headers that describe them, and the data row built
// from them for a tick. The table is iracing_variables.tsv, built into the
// program: the simulator's own names, types, counts, units and
// descriptions, and how the stand-in moves each value.
// (The header layout is in formats/iracing_variable_table.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/iracing_layout.h"
#include "formats/iracing_variable_table.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove::iracing {

// How a variable's values move from tick to tick: a quantity of the
// player's drive or of each car's (CarIdx* arrays, one element per car
// index), a constant, or a wave (base + amplitude * sine of the time, plus
// noise). Arrays of another kind (the 360 Hz *_ST ones) hold samples of the
// quantity spread over the tick, the last one at the tick's time.
struct Motion {
  std::string quantity;  // "constant", "wave", or a quantity name of the table
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
  Motion motion;
};

// The table's text as built into the program (iracing_variables.tsv).
std::string_view standin_variable_table_text() noexcept;

// Reads a table in the format of iracing_variables.tsv. Throws
// std::invalid_argument naming the line for a row that does not fit a
// header or whose type or motion is unknown.
std::vector<StandinVariable> read_standin_variable_table(std::string_view text);

// The stand-in's variable set, laid out one after another in the row, each
// aligned to its element size.
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

}  // namespace vove::iracing
