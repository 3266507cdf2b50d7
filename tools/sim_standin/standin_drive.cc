#include "tools/sim_standin/standin_drive.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace vove {

namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;
// Six slow corners a lap; the speed swings this far either side of the
// lap's average.
constexpr int corners = 6;
constexpr double speed_swing = 0.3;

// The track's outline: a closed curve sampled finely, with the distance
// along it, scaled to a perimeter of 1. Its start is the start line.
class Outline {
 public:
  static constexpr int samples = 4096;

  Outline() {
    for (int i = 0; i <= samples; ++i) {
      const double a = two_pi * i / samples;
      const double r = 1.0 + 0.25 * std::cos(2.0 * a) + 0.1 * std::sin(3.0 * a);
      x_[static_cast<std::size_t>(i)] = r * std::cos(a) - 1.25;  // the start line at the origin
      y_[static_cast<std::size_t>(i)] = r * std::sin(a);
    }
    length_[0] = 0.0;
    for (std::size_t i = 1; i <= samples; ++i) {
      length_[i] = length_[i - 1] + std::hypot(x_[i] - x_[i - 1], y_[i] - y_[i - 1]);
    }
    const double perimeter = length_[samples];
    for (std::size_t i = 0; i <= samples; ++i) {
      x_[i] /= perimeter;
      y_[i] /= perimeter;
      length_[i] /= perimeter;
    }
  }

  // The point `fraction` (0 to 1) along the outline, its heading and
  // curvature, for a perimeter of `scale` metres.
  void at(double fraction, double scale, Drive& d) const noexcept {
    const double f = std::clamp(fraction, 0.0, 1.0);
    const auto upper = std::upper_bound(length_.begin(), length_.end(), f);
    const std::size_t i = std::clamp<std::size_t>(static_cast<std::size_t>(upper - length_.begin()), 1, samples) - 1;
    const double span = length_[i + 1] - length_[i];
    const double w = span > 0.0 ? (f - length_[i]) / span : 0.0;
    d.east = (x_[i] + w * (x_[i + 1] - x_[i])) * scale;
    d.north = (y_[i] + w * (y_[i + 1] - y_[i])) * scale;
    const double h0 = heading(i), h1 = heading(i + 1);
    double turn = h1 - h0;
    turn -= two_pi * std::round(turn / two_pi);
    d.heading = h0 + w * turn;
    d.curvature = span > 0.0 ? turn / (span * scale) : 0.0;
  }

 private:
  double heading(std::size_t i) const noexcept {
    const std::size_t next = i < samples ? i + 1 : 1;
    const std::size_t from = i < samples ? i : samples - 1;
    return std::atan2(y_[next] - y_[from], x_[next] - x_[from]);
  }

  std::array<double, samples + 1> x_{}, y_{}, length_{};
};

const Outline& outline() {
  static const Outline shape;
  return shape;
}

// Throttle and brake from the acceleration, as a fraction `r` (-1 to 1) of
// the lap's largest: on the throttle while gaining speed, lifting as the
// gain ends, braking while losing it hard. Never both pedals at once.
void fill_pedals(Drive& d, double r) noexcept {
  constexpr double lift = 0.2;
  if (r >= 0.0) {
    d.throttle = 0.35 + 0.65 * r;
    d.brake = 0.0;
  } else if (r > -lift) {
    d.throttle = 0.35 * (1.0 + r / lift);
    d.brake = 0.0;
  } else {
    d.throttle = 0.0;
    d.brake = std::clamp((-r - lift) / (1.0 - lift), 0.0, 1.0);
  }
}

void fill_gear(Drive& d) noexcept {
  std::size_t gear = 0;
  while (gear + 1 < standin_gear_ratios.size() && d.speed * standin_gear_ratios[gear] > standin_shift_rpm) ++gear;
  d.gear = static_cast<double>(gear + 1);
  d.engine_speed = d.speed * standin_gear_ratios[gear];
}

}  // namespace

double standin_track_length_for(const std::vector<double>& lap_seconds) noexcept {
  double sum = 0.0;
  for (const double s : lap_seconds) sum += s;
  const double mean = lap_seconds.empty() ? standin_lap_seconds : sum / static_cast<double>(lap_seconds.size());
  return std::max(10.0, std::round(mean * standin_average_speed / 10.0) * 10.0);
}

void fill_lap_motion(Drive& d, double time_fraction, double lap_seconds, double track_length,
                     double line_speed) noexcept {
  // Distance along the lap as a function of its time, x(u) = u + swing *
  // sin(2 pi k u) / (2 pi k): it rises steadily, so its derivative is the
  // speed, and it covers exactly one lap in the lap's time. The swing is
  // chosen so that every lap crosses the line at `line_speed`: the speed
  // does not jump from a lap to the next of another time.
  const double u = std::clamp(time_fraction, 0.0, 1.0);
  const double phase = two_pi * corners * u;
  const double average = track_length / lap_seconds;
  const double swing = line_speed > 0.0 ? std::clamp(line_speed / average - 1.0, 0.05, 0.9) : speed_swing;
  d.lap_fraction = std::clamp(u + swing * std::sin(phase) / (two_pi * corners), 0.0, 1.0);
  d.lap_distance = d.lap_fraction * track_length;
  d.speed = average * (1.0 + swing * std::cos(phase));
  const double largest = average / lap_seconds * swing * two_pi * corners;
  d.acceleration = -largest * std::sin(phase);
  fill_pedals(d, -std::sin(phase));
  fill_gear(d);
  outline().at(d.lap_fraction, track_length, d);
}

StandinLaps::StandinLaps() : StandinLaps(std::vector<double>{standin_lap_seconds}, standin_track_length_metres) {}

StandinLaps::StandinLaps(std::vector<double> lap_seconds, double track_length_metres)
    : seconds_(std::move(lap_seconds)) {
  if (seconds_.empty()) throw std::invalid_argument("the stand-in needs at least one lap time");
  for (const double s : seconds_) {
    if (!std::isfinite(s) || s <= 0.0) throw std::invalid_argument("every stand-in lap time must be above 0");
    cycle_seconds_ += s;
  }
  if (!std::isfinite(track_length_metres) || track_length_metres < 0.0) {
    throw std::invalid_argument("the stand-in's track length must be above 0");
  }
  track_length_ = track_length_metres > 0.0 ? track_length_metres : standin_track_length_for(seconds_);
  line_speed_ = track_length_ / (cycle_seconds_ / static_cast<double>(seconds_.size())) * (1.0 + speed_swing);
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
  const double time_fraction = n == 1 ? cycles - whole_cycles : std::clamp(into_cycle / lap, 0.0, 1.0);
  d.lap_time = time_fraction * lap;
  fill_lap_motion(d, time_fraction, lap, track_length_, line_speed_);
  d.distance = (d.lap_number - 1.0) * track_length_ + d.lap_distance;

  const double completed = d.lap_number - 1.0;
  if (completed >= 1.0) {
    d.last_lap_time = lap_seconds(static_cast<long long>(completed));
    // Every time in the list has been driven once a whole cycle is done.
    const std::size_t driven = static_cast<std::size_t>(std::min(completed, static_cast<double>(n)));
    const auto best = std::min_element(seconds_.begin(), seconds_.begin() + static_cast<std::ptrdiff_t>(driven));
    d.best_lap_time = *best;
    d.best_lap_number = static_cast<double>(best - seconds_.begin()) + 1.0;
    // Every lap follows the same profile in its own time, so the best lap
    // passed this point the same share of its time in.
    d.delta_to_best = (lap - d.best_lap_time) * time_fraction;
  }
  return d;
}

Drive standin_drive_at(double seconds) noexcept {
  static const StandinLaps default_laps;
  return default_laps.drive_at(seconds);
}

}  // namespace vove
