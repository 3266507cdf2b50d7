// The RaceRoom stand-in: one "$R3E" struct of the current layout, rewritten
// at --rate with plain writes, its simulation clock following real time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <vector>

#include "common/steady_clock.h"
#include "formats/r3e_layout.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/r3e_content.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// --stamped-rows rewrites the struct this often instead of --rate.

class R3eStandin final : public TimelinePublisher {
 public:
  explicit R3eStandin(const StandinOptions& options)
      : stamped_rows_(options.stamped_rows),
        memory_(r3e::mapping_name, r3e::largest_layout_size),
        clock_start_(clock_.now()) {
    r3e::write_standin_memory(memory_.bytes(), 0);
  }

  void produce() override {
    // The stand-in's simulation stands still while paused, so the clock
    // counts only the time spent producing.
    const std::chrono::duration<double> running = clock_.now() - clock_start_ - paused_for_;
    const auto ticks = static_cast<std::int32_t>(std::llround(running.count() * r3e::ticks_per_second));
    if (stamped_rows_) {
      // The whole struct rewritten from the front, the head stamp first and
      // the tail stamp last: a copy that overlaps the rewrite shows it.
      stamped_image_.resize(memory_.bytes().size());
      r3e::write_standin_memory(stamped_image_, ticks);
      r3e::stamp_memory(stamped_image_, ++stamp_);
      std::copy(stamped_image_.begin(), stamped_image_.end(), memory_.bytes().begin());
    } else {
      r3e::write_standin_memory(memory_.bytes(), ticks);
    }
    ++updates_;
  }

  void pause() override {
    paused_at_ = clock_.now();
    std::cout << "Paused RaceRoom telemetry: the simulation clock stands still" << std::endl;
  }

  void resume() override {
    paused_for_ += clock_.now() - paused_at_;
    std::cout << "Resumed RaceRoom telemetry" << std::endl;
  }

  std::int64_t updates() const noexcept { return updates_; }

 private:
  bool stamped_rows_;
  std::vector<std::byte> stamped_image_;
  PublishedRegion memory_;
  SteadyClock clock_;
  SteadyTime clock_start_;
  SteadyTime paused_at_{};
  std::chrono::nanoseconds paused_for_{0};
  std::uint64_t stamp_ = 0;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_r3e_standin(const StandinOptions& options, const StandinStop& stop) {
  R3eStandin standin(options);
  StandinOptions paced = options;
  if (options.stamped_rows) paced.rate_hz = stamped_updates_per_second;
  std::cout << "Publishing RaceRoom telemetry (" << r3e::largest_layout_size << " bytes, layout "
            << r3e::largest_layout_major << "." << r3e::largest_layout_minor << ", " << paced.rate_hz
            << " updates a second" << (options.stamped_rows ? ", stamped" : "") << ")" << std::endl;
  run_standin_timeline(paced, stop, standin);
  // Nothing is cleared: the last frame stays for whoever still maps it.
  std::cout << "Stopped publishing RaceRoom telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
