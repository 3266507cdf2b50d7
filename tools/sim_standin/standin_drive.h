// A car lapping the stand-in's closed track: the quantities both stand-ins
// derive their moving values from, as a pure function of the time. The
// motion is consistent in itself: speed is the derivative of the distance
// driven, gear and engine speed follow speed through a gear table, throttle
// and brake follow the acceleration, and the position traces the track's
// outline, whose perimeter is the track length.
#pragma once

#include <array>
#include <vector>

namespace vove {

// Long enough that lap counters move in a demonstration, short enough that
// a few minutes show several laps.
inline constexpr double standin_lap_seconds = 102.345;
// The average speed a track length is chosen for when none is given.
inline constexpr double standin_average_speed = 45.45;
// The default lap's track: standin_lap_seconds at about that speed.
inline constexpr double standin_track_length_metres = 4650.0;

// Engine speed in revolutions per minute per metre per second, in each
// forward gear; the car changes up at standin_shift_rpm.
inline constexpr std::array<double, 6> standin_gear_ratios{230.0, 170.0, 133.0, 108.0, 92.0, 80.0};
inline constexpr double standin_shift_rpm = 7600.0;

// The track length for `lap_seconds` when none is given: their mean at the
// average speed, in whole tens of metres (so "x.xx km" states it exactly).
double standin_track_length_for(const std::vector<double>& lap_seconds) noexcept;

struct Drive {
  double lap_number;       // from 1
  double lap_fraction;     // 0 to 1
  double lap_time;         // seconds into the lap
  double lap_distance;     // metres into the lap
  double speed;            // metres per second, the derivative of the distance
  double acceleration;     // metres per second squared along the track
  double gear;             // 1 to 6
  double engine_speed;     // revolutions per minute: speed times the gear's ratio
  double throttle;         // 0 to 1; 0 whenever brake is above 0
  double brake;            // 0 to 1
  double last_lap_time;    // seconds of the lap before; 0 while none is complete
  double best_lap_time;    // fastest complete lap so far; 0 while none is
  double best_lap_number;  // the lap that set it; 0 while none is complete
  double delta_to_best;    // seconds behind the best lap at this point; 0 while none
  double distance;         // metres driven since the start of lap 1
  double east, north;      // metres from the start line on the track's outline
  double heading;          // radians, counter-clockwise from east
  double curvature;        // 1/metres of the outline here (positive: turning left)
};

// The car's motion on a lap of `lap_seconds`, `fraction` of the way through
// the lap's time, on a track of `track_length` metres, crossing the line at
// `line_speed` (0: 1.3 times the lap's average): lap_fraction,
// lap_distance, speed, acceleration, gear, engine_speed, throttle, brake,
// position, heading and curvature (the rest is left as it is).
void fill_lap_motion(Drive& d, double time_fraction, double lap_seconds, double track_length,
                     double line_speed = 0.0) noexcept;

// The lap times the car drives, in order, starting over after the last, so
// that a recording's lap table is known in advance. A faster lap is driven
// at proportionally higher speed along the same profile.
class StandinLaps {
 public:
  // Every lap takes standin_lap_seconds, on the default track.
  StandinLaps();
  // Throws std::invalid_argument unless there is at least one time and
  // every time is finite and above 0, and the track length (0: the one for
  // these times) is finite and not below 0.
  explicit StandinLaps(std::vector<double> lap_seconds, double track_length_metres = 0.0);

  // Seconds lap `lap_number` (from 1) takes.
  double lap_seconds(long long lap_number) const noexcept;
  double track_length() const noexcept { return track_length_; }
  // The state `seconds` into the session; negative times count as 0.
  Drive drive_at(double seconds) const noexcept;

 private:
  std::vector<double> seconds_;
  double cycle_seconds_ = 0.0;
  double track_length_ = 0.0;
  double line_speed_ = 0.0;  // every lap's speed at the line
};

// The state `seconds` into the session with every lap standin_lap_seconds.
Drive standin_drive_at(double seconds) noexcept;

}  // namespace vove
