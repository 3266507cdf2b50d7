#include "dumptool/lap_traces.h"

#include <algorithm>
#include <cmath>

namespace vove {

namespace {

struct Point {
  double fraction;
  double elapsed;
  const TelemetrySample* sample;  // null for the two line crossings
};

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace

std::size_t DistanceAxis::points() const noexcept {
  return static_cast<std::size_t>(std::floor(lap_length / step)) + 1;
}

DistanceAxis choose_distance_axis(std::span<const TelemetrySample> samples, double session_text_length) {
  std::vector<double> lengths;
  for (const TelemetrySample& s : samples) {
    // Near the line a small error in the fraction gives a large one here.
    if (s.lap_fraction > 0.05 && s.lap_fraction <= 1.0 && s.lap_distance > 0.0) {
      lengths.push_back(s.lap_distance / s.lap_fraction);
    }
  }
  DistanceAxis axis;
  double length = median(std::move(lengths));
  if (!(length > 1.0) && session_text_length > 1.0) length = session_text_length;
  if (length > 1.0 && std::isfinite(length) && length < 1.0e6) {
    axis.lap_length = length;
    axis.in_metres = true;
    axis.step = std::max(1.0, std::ceil(length / static_cast<double>(max_points_per_lap - 1)));
  } else {
    axis.lap_length = 100.0;
    axis.step = 0.1;
  }
  return axis;
}

LapTrace trace_lap(std::span<const TelemetrySample> samples, const LapRecord& lap, const DistanceAxis& axis,
                   const std::array<bool, report_channel_count>& recorded, bool positions) {
  // The lap's rows in order of distance, with the start and end lines.
  std::vector<Point> points;
  points.push_back({0.0, 0.0, nullptr});
  for (std::size_t i = lap.first_sample; i < lap.end_sample && i < samples.size(); ++i) {
    const TelemetrySample& s = samples[i];
    if (std::isnan(s.lap_fraction) || std::isnan(s.session_time) || s.lap != lap.number) continue;
    const double fraction = std::clamp(s.lap_fraction, 0.0, 1.0);
    const double elapsed = std::clamp(s.session_time - lap.start_time, 0.0, lap.time);
    // The lap number and the fraction may turn over a row apart: a row
    // that is still at the far end of the line is not part of this lap.
    const double share = lap.time > 0.0 ? elapsed / lap.time : 0.0;
    if ((share < 0.1 && fraction > 0.9) || (share > 0.9 && fraction < 0.1)) continue;
    if (fraction <= points.back().fraction) continue;
    points.push_back({fraction, elapsed, &s});
  }
  points.push_back({1.0, lap.time, nullptr});

  const std::size_t count = axis.points();
  LapTrace trace;
  trace.number = lap.number;
  trace.elapsed.resize(count);
  for (std::size_t c = 0; c < report_channel_count; ++c) {
    if (recorded[c]) trace.channels[c].resize(count);
  }
  if (positions) {
    trace.map_x.resize(count);
    trace.map_y.resize(count);
  }
  // The rows nearest the lines stand in for the lines' own values.
  const TelemetrySample* first_row = points.size() > 2 ? points[1].sample : nullptr;
  const TelemetrySample* last_row = points.size() > 2 ? points[points.size() - 2].sample : nullptr;

  std::size_t segment = 0;
  for (std::size_t p = 0; p < count; ++p) {
    const double fraction = std::min(1.0, static_cast<double>(p) * axis.step / axis.lap_length);
    while (segment + 2 < points.size() && points[segment + 1].fraction < fraction) ++segment;
    const Point& a = points[segment];
    const Point& b = points[segment + 1];
    const double span = b.fraction - a.fraction;
    const double weight = span > 0.0 ? std::clamp((fraction - a.fraction) / span, 0.0, 1.0) : 0.0;
    trace.elapsed[p] = a.elapsed + (b.elapsed - a.elapsed) * weight;
    const TelemetrySample* from = a.sample != nullptr ? a.sample : first_row;
    const TelemetrySample* to = b.sample != nullptr ? b.sample : last_row;
    for (std::size_t c = 0; c < report_channel_count; ++c) {
      if (!recorded[c]) continue;
      const ReportChannelInfo& info = report_channel_info(static_cast<ReportChannel>(c));
      if (from == nullptr || to == nullptr) {
        trace.channels[c][p] = std::nan("");
        continue;
      }
      const double x = from->channels[c];
      const double y = to->channels[c];
      const double value = info.steps || std::isnan(y) ? x : std::isnan(x) ? y : x + (y - x) * weight;
      trace.channels[c][p] = value * info.scale;
    }
    if (positions) {
      const auto between = [&](double TelemetrySample::*member) {
        if (from == nullptr || to == nullptr) return std::nan("");
        const double x = from->*member;
        const double y = to->*member;
        return std::isnan(y) ? x : std::isnan(x) ? y : x + (y - x) * weight;
      };
      trace.map_x[p] = between(&TelemetrySample::map_x);
      trace.map_y[p] = between(&TelemetrySample::map_y);
    }
  }
  return trace;
}

std::vector<double> time_delta(const LapTrace& lap, const LapTrace& reference) {
  const std::size_t count = std::min(lap.elapsed.size(), reference.elapsed.size());
  std::vector<double> delta(count);
  for (std::size_t p = 0; p < count; ++p) delta[p] = lap.elapsed[p] - reference.elapsed[p];
  return delta;
}

}  // namespace vove
