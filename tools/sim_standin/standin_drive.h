// A car lapping the stand-in's track: the few quantities both stand-ins
// derive their moving values from, as a pure function of the time.
#pragma once

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
};

// The state `seconds` into the session; negative times count as 0.
Drive standin_drive_at(double seconds) noexcept;
