// A lap's recorded rows reduced to one point per step of lap distance
// (about a metre), so laps driven at any rate line up point for point, and
// the time each lap gains or loses against another along the way.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "dumptool/lap_table.h"
#include "dumptool/report_samples.h"

namespace vove {

// Where the distance axis comes from and how fine it is.
struct DistanceAxis {
  double lap_length = 0.0;  // metres, or 100 when only fractions are known
  bool in_metres = false;   // false: the axis is per cent of the lap
  double step = 1.0;        // between points, in the axis's unit
  std::size_t points() const noexcept;
};

// More points than this per lap would bloat a report for no visible gain.
inline constexpr std::size_t max_points_per_lap = 20000;

// The lap's length from the rows that carry both distance and fraction,
// else from `session_text_length` (metres; 0 if unknown), else per cent.
DistanceAxis choose_distance_axis(std::span<const TelemetrySample> samples, double session_text_length);

struct LapTrace {
  int number = 0;
  // Seconds since the lap started, at each point of the axis.
  std::vector<double> elapsed;
  // Each channel at each point (shown units); empty when not recorded.
  std::array<std::vector<double>, report_channel_count> channels;
  // The car's place on the track map at each point; empty when not recorded.
  std::vector<double> map_x;
  std::vector<double> map_y;
};

// Requires a complete `lap`. Rows where the car went backwards along the
// lap are passed over; each point interpolates the rows on either side
// (a gear holds the earlier row's value). `positions`: the rows carry map
// positions, to be traced too.
LapTrace trace_lap(std::span<const TelemetrySample> samples, const LapRecord& lap, const DistanceAxis& axis,
                   const std::array<bool, report_channel_count>& recorded, bool positions = false);

// Seconds `lap` is behind `reference` at each point (negative: ahead).
std::vector<double> time_delta(const LapTrace& lap, const LapTrace& reference);

}  // namespace vove
