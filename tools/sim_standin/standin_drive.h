// A car lapping the stand-in's track: the few quantities both stand-ins
// derive their moving values from, as a pure function of the time.
#pragma once

#include <vector>

// Long enough that lap counters move in a demonstration, short enough that
// a few minutes show several laps.
inline constexpr double standin_lap_seconds = 102.345;
inline constexpr double standin_track_length_metres = 4650.0;

struct Drive {
  double lap_number;    // from 1
  double lap_fraction;  // 0 to 1
  double lap_time;      // seconds into the lap
  double speed;         // metres per second
  double gear;          // 1 to 6
  double engine_speed;  // revolutions per minute
  double throttle;      // 0 to 1
  double brake;         // 0 to 1
  double last_lap_time;    // seconds of the lap before; 0 while none is complete
  double best_lap_time;    // fastest complete lap so far; 0 while none is
  double best_lap_number;  // the lap that set it; 0 while none is complete
};

// The lap times the car drives, in order, starting over after the last, so
// that a recording's lap table is known in advance. A faster lap is driven
// at proportionally higher speed along the same profile.
class StandinLaps {
 public:
  // Every lap takes standin_lap_seconds.
  StandinLaps();
  // Throws std::invalid_argument unless there is at least one time and
  // every time is finite and above 0.
  explicit StandinLaps(std::vector<double> lap_seconds);

  // Seconds lap `lap_number` (from 1) takes.
  double lap_seconds(long long lap_number) const noexcept;
  // The state `seconds` into the session; negative times count as 0.
  Drive drive_at(double seconds) const noexcept;

 private:
  std::vector<double> seconds_;
  double cycle_seconds_ = 0.0;
};

// The state `seconds` into the session with every lap standin_lap_seconds.
Drive standin_drive_at(double seconds) noexcept;
