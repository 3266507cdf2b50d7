#include "dumptool/lap_table.h"

#include <algorithm>
#include <cmath>

namespace vove {

namespace {

// The simulator may publish the time of a finished lap a moment after the
// car crosses the line; later than this it is not looked for.
constexpr double simulator_time_window_seconds = 5.0;

// Beyond this a lap number is rubbish, and would not fit an int.
constexpr double largest_lap_number = 1.0e6;

bool usable(const TelemetrySample& s) noexcept {
  return !std::isnan(s.session_time) && std::abs(s.lap) <= largest_lap_number;
}

// Session seconds at which the car crossed the line between rows a (old
// lap) and b (new lap): where the lap fraction, running on past 1, reaches
// 1. Without fractions, the new lap's first row.
double crossing_time(const TelemetrySample& a, const TelemetrySample& b) noexcept {
  const double before = 1.0 - a.lap_fraction;  // still to go in row a
  const double after = b.lap_fraction;         // already done in row b
  if (std::isnan(before) || std::isnan(after) || before < 0.0 || after < 0.0 || before + after <= 0.0 || before > 0.5 ||
      after > 0.5) {
    return b.session_time;
  }
  return a.session_time + (b.session_time - a.session_time) * before / (before + after);
}

// The usual spacing of the rows in session seconds (the median), so that
// tolerances follow the recording's rate.
double typical_spacing(std::span<const TelemetrySample> samples, const std::vector<std::size_t>& used) {
  std::vector<double> gaps;
  gaps.reserve(used.size());
  for (std::size_t i = 1; i < used.size(); ++i) {
    const double gap = samples[used[i]].session_time - samples[used[i - 1]].session_time;
    if (gap > 0.0) gaps.push_back(gap);
  }
  if (gaps.empty()) return 0.0;
  auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
  std::nth_element(gaps.begin(), middle, gaps.end());
  return *middle;
}

// The simulator's time for the lap that ended at row `crossing`, if it
// reports one that agrees with `measured`. A newly published value is
// preferred; the value from before the crossing counts only when no new
// one comes, as two laps can take the same time.
bool simulator_lap_time(std::span<const TelemetrySample> samples, const std::vector<std::size_t>& used,
                        std::size_t crossing, double measured, double tolerance, double& time) {
  const double before = crossing > 0 ? samples[used[crossing - 1]].last_lap_time : std::nan("");
  const double crossed_at = samples[used[crossing]].session_time;
  const auto agrees = [&](double value) { return value > 0.0 && std::abs(value - measured) <= tolerance; };
  for (std::size_t i = crossing; i < used.size(); ++i) {
    const TelemetrySample& s = samples[used[i]];
    if (s.session_time - crossed_at > simulator_time_window_seconds || s.lap != samples[used[crossing]].lap) break;
    if (!std::isnan(s.last_lap_time) && s.last_lap_time != before && agrees(s.last_lap_time)) {
      time = s.last_lap_time;
      return true;
    }
  }
  if (agrees(before)) {
    time = before;
    return true;
  }
  return false;
}

}  // namespace

const LapRecord* LapTable::find(int number) const noexcept {
  for (const LapRecord& lap : laps) {
    if (lap.number == number) return &lap;
  }
  return nullptr;
}

LapTable find_laps(std::span<const TelemetrySample> samples) {
  std::vector<std::size_t> used;
  used.reserve(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (usable(samples[i])) used.push_back(i);
  }
  LapTable table;
  if (used.empty()) {
    table.best = table.last_complete = 0;
    return table;
  }
  const double spacing = typical_spacing(samples, used);
  // The measured time is off by at most a row's spacing at each line.
  const double tolerance = 2.0 * spacing + 0.01;

  // Whether the lap that began at used[begin] started at a line crossing
  // seen in the rows (and not at the recording's start or after a jump).
  bool started_at_line = false;
  double start_time = samples[used[0]].session_time;
  std::size_t begin = 0;
  bool clock_forward = true;
  for (std::size_t k = 1; k <= used.size(); ++k) {
    const bool at_end = k == used.size();
    if (!at_end) {
      const TelemetrySample& previous = samples[used[k - 1]];
      const TelemetrySample& current = samples[used[k]];
      if (current.lap == previous.lap && current.session_time >= previous.session_time) continue;
      if (current.lap == previous.lap) {
        clock_forward = false;  // a new session or a replay: the lap is not one drive
        continue;
      }
    }
    LapRecord lap;
    lap.number = static_cast<int>(samples[used[begin]].lap);
    lap.first_sample = used[begin];
    lap.end_sample = used[k - 1] + 1;
    lap.start_time = start_time;
    lap.end_time = samples[used[k - 1]].session_time;
    bool next_started_at_line = false;
    if (!at_end) {
      const TelemetrySample& previous = samples[used[k - 1]];
      const TelemetrySample& current = samples[used[k]];
      const bool next_in_order = current.lap == previous.lap + 1 && current.session_time > previous.session_time;
      if (next_in_order) {
        lap.end_time = crossing_time(previous, current);
        lap.complete = started_at_line && clock_forward && lap.end_time > lap.start_time;
        next_started_at_line = true;
      }
      start_time = next_in_order ? lap.end_time : current.session_time;
    }
    if (lap.complete) {
      lap.time = lap.end_time - lap.start_time;
      double reported = 0.0;
      if (simulator_lap_time(samples, used, k, lap.time, tolerance, reported)) {
        lap.time = reported;
        lap.time_from_simulator = true;
      }
    }
    table.laps.push_back(lap);
    started_at_line = next_started_at_line;
    clock_forward = true;
    begin = k;
  }

  table.best = table.last_complete = table.laps.size();
  for (std::size_t i = 0; i < table.laps.size(); ++i) {
    if (!table.laps[i].complete) continue;
    table.last_complete = i;
    if (table.best == table.laps.size() || table.laps[i].time < table.laps[table.best].time) table.best = i;
  }
  return table;
}

}  // namespace vove
