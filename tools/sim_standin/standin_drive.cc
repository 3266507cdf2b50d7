#include "tools/sim_standin/standin_drive.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace {

// The speed profile and what follows from it, `fraction` into a lap driven
// at `pace` times the default lap's speed.
void fill_motion(Drive& d, double fraction, double pace) noexcept {
  // Six corners a lap: fast on the straights, braking into each corner.
  const double shape = std::sin(fraction * 2.0 * std::numbers::pi * 6.0);
  d.speed = (52.0 + 24.0 * shape) * pace;
  d.throttle = std::clamp(0.55 + 1.2 * shape, 0.0, 1.0);
  d.brake = std::clamp(-1.3 * shape - 0.55, 0.0, 1.0);
  constexpr double speed_per_gear = 14.0;
  d.gear = std::clamp(1.0 + std::floor(d.speed / speed_per_gear), 1.0, 6.0);
  const double into_gear = (d.speed - (d.gear - 1.0) * speed_per_gear) / speed_per_gear;
  d.engine_speed = 3200.0 + std::clamp(into_gear, 0.0, 1.0) * 4300.0;
}

}  // namespace

StandinLaps::StandinLaps() : StandinLaps(std::vector<double>{standin_lap_seconds}) {}

StandinLaps::StandinLaps(std::vector<double> lap_seconds) : seconds_(std::move(lap_seconds)) {
  if (seconds_.empty()) throw std::invalid_argument("the stand-in needs at least one lap time");
  for (const double s : seconds_) {
    if (!std::isfinite(s) || s <= 0.0) throw std::invalid_argument("every stand-in lap time must be above 0");
    cycle_seconds_ += s;
  }
}

double StandinLaps::lap_seconds(long long lap_number) const noexcept {
  const long long n = static_cast<long long>(seconds_.size());
  const long long index = ((std::max(lap_number, 1LL) - 1) % n);
  return seconds_[static_cast<std::size_t>(index)];
}

Drive StandinLaps::drive_at(double seconds) const noexcept {
  Drive d{};
  const double cycles = std::max(seconds, 0.0) / cycle_seconds_;
  const double whole_cycles = std::floor(cycles);
  const std::size_t n = seconds_.size();
  // Within the cycle: walk the laps until the one holding this moment.
  double into_cycle = (cycles - whole_cycles) * cycle_seconds_;
  std::size_t index = 0;
  while (index + 1 < n && into_cycle >= seconds_[index]) into_cycle -= seconds_[index++];
  const double lap = seconds_[index];
  d.lap_number = whole_cycles * static_cast<double>(n) + static_cast<double>(index) + 1.0;
  // With one lap time this is the plain fraction of the lap count.
  d.lap_fraction = n == 1 ? cycles - whole_cycles : std::clamp(into_cycle / lap, 0.0, 1.0);
  d.lap_time = d.lap_fraction * lap;
  fill_motion(d, d.lap_fraction, standin_lap_seconds / lap);

  const double completed = d.lap_number - 1.0;
  if (completed >= 1.0) {
    d.last_lap_time = lap_seconds(static_cast<long long>(completed));
    // Every time in the list has been driven once a whole cycle is done.
    const std::size_t driven = static_cast<std::size_t>(std::min(completed, static_cast<double>(n)));
    const auto best = std::min_element(seconds_.begin(), seconds_.begin() + static_cast<std::ptrdiff_t>(driven));
    d.best_lap_time = *best;
    d.best_lap_number = static_cast<double>(best - seconds_.begin()) + 1.0;
  }
  return d;
}

Drive standin_drive_at(double seconds) noexcept {
  static const StandinLaps default_laps;
  return default_laps.drive_at(seconds);
}
