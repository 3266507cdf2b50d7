// The rFactor 2 stand-in: the plugin's nine output buffers, each written at
// the plugin's own rate, whatever --rate says.
#include <chrono>
#include <thread>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string_view>
#include <vector>

#include "formats/rf2_layout.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/rf2_buffer_content.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// The fastest buffers' rate; every other rate divides into its updates.
constexpr std::int64_t updates_per_second = 400;

// Updates a second in rf2::buffers' order: Telemetry, Scoring, Rules,
// MultiRules, ForceFeedback, Graphics, PitInfo, Weather, Extended. 0: only
// once at the start (MultiRules changes with the session, which the
// stand-in never changes).
constexpr std::array<std::int64_t, rf2::buffers.size()> plugin_rates{50, 5, 3, 0, 400, 400, 100, 1, 5};
static_assert(rf2::buffers[0].name == rf2::telemetry_name && rf2::buffers[1].name == rf2::scoring_name &&
              rf2::buffers[8].name == rf2::extended_name);

class Rf2Standin final : public TimelinePublisher {
 public:
  explicit Rf2Standin(const StandinOptions& options) : stamped_rows_(options.stamped_rows) {
    buffers_.reserve(rf2::buffers.size());
    // In the plugin's order, so Extended, the "ready" marker, is complete last.
    for (std::size_t i = 0; i < rf2::buffers.size(); ++i) {
      const rf2::BufferDescription& description = rf2::buffers[i];
      const bool stamped = stamped_rows_ && description.name == rf2::telemetry_name;
      buffers_.push_back({description, PublishedRegion(description.name, description.size),
                          stamped ? std::int64_t{stamped_updates_per_second} : plugin_rates[i]});
      write(buffers_.back());
    }
  }

  void produce() override {
    ++updates_;
    for (Buffer& buffer : buffers_) {
      if (buffer.rate * updates_ / updates_per_second != buffer.rate * (updates_ - 1) / updates_per_second) {
        write(buffer);
      }
    }
  }

  // Paused: nothing is written, so every version block stays as it was.
  void pause() override { std::cout << "Paused rFactor 2 telemetry: no updates" << std::endl; }
  void resume() override { std::cout << "Resumed rFactor 2 telemetry" << std::endl; }

  // As the plugin at shutdown: every buffer zeroed, Extended first.
  void finish() {
    for (auto buffer = buffers_.rbegin(); buffer != buffers_.rend(); ++buffer) {
      rf2::zero_buffer(buffer->region.bytes(), buffer->description.versioned);
    }
  }

  std::int64_t telemetry_updates() const noexcept { return telemetry_updates_; }

 private:
  struct Buffer {
    const rf2::BufferDescription& description;
    PublishedRegion region;
    std::int64_t rate;
  };

  void write(Buffer& buffer) {
    const std::string_view name = buffer.description.name;
    const auto content = [&](std::span<std::byte> bytes) {
      if (name == rf2::telemetry_name && stamped_rows_) {
        write_stamped_telemetry(bytes);
      } else if (name == rf2::telemetry_name) {
        rf2::write_standin_telemetry(bytes, rf2::standin_vehicle_count);
      } else if (name == rf2::scoring_name) {
        rf2::write_standin_scoring(bytes, rf2::standin_vehicle_count);
      } else if (name == rf2::extended_name) {
        rf2::write_standin_extended(bytes);
      }
      // The other buffers' fields are not described: their writes change
      // only the version block, and nothing at all where there is none.
    };
    if (buffer.description.versioned) {
      rf2::write_versioned(buffer.region.bytes(), content);
    } else {
      content(buffer.region.bytes());
    }
    if (name == rf2::telemetry_name) ++telemetry_updates_;
  }

  // The whole used part rewritten from the front, the head stamp first and
  // the tail stamp last, so a copy that overlaps the rewrite has unequal
  // stamps unless the version block turns it away. The rewrite is held
  // open halfway for a millisecond, as by a simulator taken off the
  // processor mid-write, so that a copy ignoring the protocol tears often.
  void write_stamped_telemetry(std::span<std::byte> bytes) {
    stamped_image_.resize(bytes.size());
    // Every vehicle slot in use: the longer a copy takes, the likelier a
    // copy that skips a check of the version block overlaps a rewrite.
    constexpr auto all_vehicles = static_cast<std::int32_t>(rf2::max_vehicles);
    rf2::write_standin_telemetry(stamped_image_, all_vehicles);
    rf2::stamp_telemetry(stamped_image_, all_vehicles, ++stamp_);
    const std::size_t used_end = rf2::telemetry_tail_stamp_offset(all_vehicles) + 8;
    const std::size_t half = (rf2::version_block_size + used_end) / 2;
    std::copy(stamped_image_.begin() + rf2::version_block_size, stamped_image_.begin() + half,
              bytes.begin() + rf2::version_block_size);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::copy(stamped_image_.begin() + half, stamped_image_.begin() + used_end, bytes.begin() + half);
  }

  bool stamped_rows_;
  std::vector<std::byte> stamped_image_;
  std::vector<Buffer> buffers_;
  std::int64_t updates_ = 0;
  std::int64_t telemetry_updates_ = 0;
  std::uint64_t stamp_ = 0;
};

}  // namespace

int run_rf2_standin(const StandinOptions& options, const StandinStop& stop) {
  Rf2Standin standin(options);
  std::cout << "Publishing rFactor 2 telemetry (" << rf2::buffers.size() << " buffers, " << rf2::standin_vehicle_count
            << " vehicles, the plugin's own rates"
            << (options.stamped_rows ? ", Telemetry stamped 400 times a second" : "") << ")" << std::endl;
  StandinOptions paced = options;
  paced.rate_hz = static_cast<double>(updates_per_second);
  run_standin_timeline(paced, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing rFactor 2 telemetry after " << standin.telemetry_updates() << " Telemetry updates"
            << std::endl;
  return 0;
}

}  // namespace vove
