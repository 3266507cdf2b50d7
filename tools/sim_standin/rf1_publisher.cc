// The rFactor 1 / Automobilista 1 stand-in: one "$rFactorShared$" struct of
// layout 3.0.0.0's size, rewritten at --rate with plain writes (the plugin
// has no synchronisation), and zeroed at exit as the plugin zeroes it at
// session end.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <thread>
#include <vector>

#include "formats/rf1_layout.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/rf1_content.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// --stamped-rows rewrites the struct this often instead of --rate.

class Rf1Standin final : public TimelinePublisher {
 public:
  explicit Rf1Standin(const StandinOptions& options)
      : stamped_rows_(options.stamped_rows), memory_(rf1::mapping_name, rf1::layout_size) {
    rf1::write_standin_memory(memory_.bytes(), 0);
  }

  void produce() override {
    ++updates_;
    if (stamped_rows_) {
      write_stamped(memory_.bytes());
    } else {
      rf1::write_standin_memory(memory_.bytes(), static_cast<std::uint64_t>(updates_));
    }
  }

  // Paused: nothing is written, so the bytes stand still.
  void pause() override { std::cout << "Paused rFactor 1 telemetry: no updates" << std::endl; }
  void resume() override { std::cout << "Resumed rFactor 1 telemetry" << std::endl; }

  // As the plugin at session end and shutdown: the struct zeroed.
  void finish() {
    const std::span<std::byte> bytes = memory_.bytes();
    std::fill(bytes.begin(), bytes.end(), std::byte{0});
  }

  std::int64_t updates() const noexcept { return updates_; }

 private:
  // The whole struct rewritten from the front, the head stamp first and the
  // tail stamp last, held a millisecond halfway: with no protocol to turn
  // it away, a copy that overlaps the rewrite has unequal stamps.
  void write_stamped(std::span<std::byte> bytes) {
    stamped_image_.resize(bytes.size());
    rf1::write_standin_memory(stamped_image_, static_cast<std::uint64_t>(updates_));
    rf1::stamp_memory(stamped_image_, ++stamp_);
    const auto half = stamped_image_.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2);
    std::copy(stamped_image_.begin(), half, bytes.begin());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::copy(half, stamped_image_.end(), bytes.begin() + (half - stamped_image_.begin()));
  }

  bool stamped_rows_;
  std::vector<std::byte> stamped_image_;
  PublishedRegion memory_;
  std::uint64_t stamp_ = 0;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_rf1_standin(const StandinOptions& options, const StandinStop& stop) {
  Rf1Standin standin(options);
  StandinOptions paced = options;
  if (options.stamped_rows) paced.rate_hz = stamped_updates_per_second;
  std::cout << "Publishing rFactor 1 telemetry (" << rf1::layout_size << " bytes, layout " << rf1::layout_name
            << "'s size, opaque content, " << paced.rate_hz << " updates a second"
            << (options.stamped_rows ? ", stamped" : "") << ")" << std::endl;
  run_standin_timeline(paced, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing rFactor 1 telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
