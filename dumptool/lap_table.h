// Finds the laps of a recording from its rows: where each lap starts and
// ends, whether it was driven whole, and how long it took.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "dumptool/report_samples.h"

namespace vove {

struct LapRecord {
  int number = 0;                // the recorded lap number
  std::size_t first_sample = 0;  // the lap's rows are [first_sample, end_sample)
  std::size_t end_sample = 0;
  double start_time = 0.0;           // session seconds at the start line (interpolated)
  double end_time = 0.0;             // the same at the end; the last row's time if not complete
  bool complete = false;             // seen from line to line, numbered one after the other
  double time = 0.0;                 // seconds, for a complete lap
  bool time_from_simulator = false;  // the simulator's own lap time was used
};

struct LapTable {
  std::vector<LapRecord> laps;  // in recorded order
  // Index into `laps` of the fastest complete lap, or laps.size() if none.
  std::size_t best = 0;
  // Index of the last complete lap, or laps.size() if none.
  std::size_t last_complete = 0;

  const LapRecord* find(int number) const noexcept;
};

// Splits `samples` into laps where the recorded lap number changes. A lap
// is complete when the rows show its start and its end, the number rose by
// one at each, and the session clock ran forward throughout; its time runs
// from line to line, each crossing interpolated between the rows on either
// side by the lap fraction. Where the simulator's own time of the lap
// before (last_lap_time) appears shortly after the crossing and agrees with
// the measured time within the rows' spacing, that exact value is used.
// Rows without a session time or lap number are skipped.
LapTable find_laps(std::span<const TelemetrySample> samples);

}  // namespace vove
