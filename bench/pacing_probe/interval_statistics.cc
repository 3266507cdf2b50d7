#include "bench/pacing_probe/interval_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vove::probe {

namespace {

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double fraction) {
  const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

IntervalSummary summarise_intervals(const std::vector<std::int64_t>& arrivals, double rate) {
  IntervalSummary summary;
  summary.frames = arrivals.size();
  if (arrivals.size() < 2 || rate <= 0.0) return summary;

  const double period_ns = 1e9 / rate;
  std::vector<double> deviations;
  deviations.reserve(arrivals.size() - 1);
  for (std::size_t i = 1; i < arrivals.size(); ++i)
    deviations.push_back(std::abs(static_cast<double>(arrivals[i] - arrivals[i - 1]) - period_ns) / 1e3);
  std::sort(deviations.begin(), deviations.end());

  const double span_s = static_cast<double>(arrivals.back() - arrivals.front()) / 1e9;
  summary.achieved_rate = span_s > 0.0 ? static_cast<double>(arrivals.size() - 1) / span_s : 0.0;
  summary.deviation_p50_us = percentile(deviations, 0.50);
  summary.deviation_p99_us = percentile(deviations, 0.99);
  summary.deviation_max_us = deviations.back();
  return summary;
}

}  // namespace vove::probe
