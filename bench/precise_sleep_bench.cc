// How close precise_sleep ends to what was asked, and what it costs in
// processor time. This measures the machine (its timer, its scheduler and
// whatever else runs on it) as much as the code, so the numbers vary from
// machine to machine and from run to run; they are no pass/fail line.
//
// Time is the real duration of each call (manual time); the CPU column is
// the processor time the calling thread spent, mostly in the final busy
// wait. The counters give the overshoot past the requested time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "common/precise_sleep.h"

namespace vove {

namespace {

void PreciseSleep(benchmark::State& state) {
  const auto requested_ms = static_cast<std::int32_t>(state.range(0));
  using Clock = std::chrono::steady_clock;
  const std::chrono::duration<double, std::micro> requested = std::chrono::milliseconds(requested_ms);

  double overshoot_sum_us = 0.0;
  double overshoot_max_us = 0.0;
  std::int64_t calls = 0;
  const std::clock_t cpu_start = std::clock();
  double elapsed_total_s = 0.0;
  for (auto _ : state) {
    const auto start = Clock::now();
    precise_sleep(std::chrono::milliseconds{requested_ms});
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    state.SetIterationTime(elapsed.count());
    elapsed_total_s += elapsed.count();
    const double overshoot_us = (std::chrono::duration<double, std::micro>(elapsed) - requested).count();
    overshoot_sum_us += overshoot_us;
    overshoot_max_us = std::max(overshoot_max_us, overshoot_us);
    ++calls;
  }
  const double cpu_s = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (calls == 0) return;
  state.counters["overshoot_mean_us"] = overshoot_sum_us / static_cast<double>(calls);
  state.counters["overshoot_max_us"] = overshoot_max_us;
  // Share of the sleep spent on a core rather than asleep.
  state.counters["cpu_share"] = elapsed_total_s > 0.0 ? cpu_s / elapsed_total_s : 0.0;
  state.counters["steps_estimate_ms"] = precise_sleep_statistics().estimate * 1000.0;
}
BENCHMARK(PreciseSleep)->Arg(1)->Arg(5)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace vove
