#include "tools/sim_standin/standin_drive.h"

#include <algorithm>
#include <cmath>
#include <numbers>

Drive standin_drive_at(double seconds) noexcept {
  Drive d{};
  const double laps = std::max(seconds, 0.0) / standin_lap_seconds;
  d.lap_number = std::floor(laps) + 1.0;
  d.lap_fraction = laps - std::floor(laps);
  d.lap_time = d.lap_fraction * standin_lap_seconds;
  // Six corners a lap: fast on the straights, braking into each corner.
  const double shape = std::sin(d.lap_fraction * 2.0 * std::numbers::pi * 6.0);
  d.speed = 52.0 + 24.0 * shape;
  d.throttle = std::clamp(0.55 + 1.2 * shape, 0.0, 1.0);
  d.brake = std::clamp(-1.3 * shape - 0.55, 0.0, 1.0);
  constexpr double speed_per_gear = 14.0;
  d.gear = std::clamp(1.0 + std::floor(d.speed / speed_per_gear), 1.0, 6.0);
  const double into_gear = (d.speed - (d.gear - 1.0) * speed_per_gear) / speed_per_gear;
  d.engine_speed = 3200.0 + std::clamp(into_gear, 0.0, 1.0) * 4300.0;
  return d;
}
