// The Automobilista 2 stand-in: one "$pcars2$" struct of the current
// layout, rewritten at --rate under the sequence number.
#include <chrono>
#include <thread>
#include <algorithm>
#include <cstdint>
#include <vector>
#include <iostream>

#include "formats/pcars2_layout.h"
#include "tools/sim_standin/pcars2_content.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// --stamped-rows rewrites the struct this often instead of --rate.

class Ams2Standin final : public TimelinePublisher {
 public:
  explicit Ams2Standin(const StandinOptions& options)
      : stamped_rows_(options.stamped_rows), memory_(pcars2::mapping_name, pcars2::largest_layout_size) {
    write_state(pcars2::game_playing);
  }

  void produce() override {
    pcars2::write_under_sequence(memory_.bytes(), [&](std::span<std::byte> bytes) {
      if (stamped_rows_) {
        write_stamped(bytes);
      } else {
        pcars2::write_standin_state(bytes, pcars2::game_playing);
      }
    });
    ++updates_;
  }

  void pause() override {
    write_state(pcars2::game_paused);
    std::cout << "Paused AMS2 telemetry: game state 3" << std::endl;
  }

  void resume() override {
    write_state(pcars2::game_playing);
    std::cout << "Resumed AMS2 telemetry" << std::endl;
  }

  // The state the game leaves behind when it closes.
  void finish() { write_state(pcars2::game_exited); }

  std::int64_t updates() const noexcept { return updates_; }

 private:
  void write_state(std::uint32_t game_state) {
    pcars2::write_under_sequence(memory_.bytes(),
                                 [&](std::span<std::byte> bytes) { pcars2::write_standin_state(bytes, game_state); });
  }

  // The whole struct rewritten from the front but for the sequence number,
  // the head stamp first and the tail stamp last, so a copy that overlaps
  // the rewrite has unequal stamps unless the sequence number turns it away.
  // The rewrite is held open for a millisecond at the sequence number, as
  // by a game taken off the processor mid-write, so that a copy ignoring
  // the protocol tears often.
  void write_stamped(std::span<std::byte> bytes) {
    stamped_image_.resize(bytes.size());
    pcars2::write_standin_state(stamped_image_, pcars2::game_playing);
    pcars2::stamp_memory(stamped_image_, ++stamp_);
    const auto sequence = stamped_image_.begin() + pcars2::sequence_number_offset;
    std::copy(stamped_image_.begin(), sequence, bytes.begin());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::copy(sequence + 4, stamped_image_.end(), bytes.begin() + pcars2::sequence_number_offset + 4);
  }

  bool stamped_rows_;
  std::vector<std::byte> stamped_image_;
  PublishedRegion memory_;
  std::uint64_t stamp_ = 0;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_ams2_standin(const StandinOptions& options, const StandinStop& stop) {
  Ams2Standin standin(options);
  StandinOptions paced = options;
  if (options.stamped_rows) paced.rate_hz = stamped_updates_per_second;
  std::cout << "Publishing AMS2 telemetry (" << pcars2::largest_layout_size << " bytes, layout "
            << pcars2::largest_layout_version << ", " << paced.rate_hz << " updates a second"
            << (options.stamped_rows ? ", stamped" : "") << ")" << std::endl;
  run_standin_timeline(paced, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing AMS2 telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
