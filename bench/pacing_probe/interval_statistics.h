// What a consumer sees of a paced producer: the times at which new frames
// appeared, summarised as the achieved rate and the deviation of each
// interval from the nominal period.
#pragma once

#include <cstdint>
#include <vector>

namespace vove::probe {

struct IntervalSummary {
  std::size_t frames = 0;         // frame arrivals observed
  double achieved_rate = 0.0;     // arrivals per second between the first and the last
  double deviation_p50_us = 0.0;  // |interval - period|, microseconds
  double deviation_p99_us = 0.0;
  double deviation_max_us = 0.0;
};

// `arrivals` are steady-clock nanoseconds in increasing order; `rate` is
// the rate the producer was asked to keep. Fewer than two arrivals leave
// the rate and the deviations zero.
IntervalSummary summarise_intervals(const std::vector<std::int64_t>& arrivals, double rate);

}  // namespace vove::probe
