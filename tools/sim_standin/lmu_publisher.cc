// The Le Mans Ultimate stand-in: LMU_Data with its update event and the
// shared lock, each update written under the lock and announced by one
// signal of the event, as the game does.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "formats/lmu_layout.h"
#include "simulators/lmu/lmu_lock.h"
#include "tools/sim_standin/lmu_content.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

// --stamped-rows rewrites the data this often instead of --rate.
// A reader holding the lock longer than this costs the stand-in an update.
constexpr std::chrono::milliseconds lock_wait{100};

class LmuStandin final : public TimelinePublisher {
 public:
  explicit LmuStandin(const StandinOptions& options)
      : stamped_rows_(options.stamped_rows),
        lock_(created_lock()),
        event_(created_event()),
        data_(lmu::data_name, lmu::data_size) {
    update([this] { lmu::write_standin_data(data_.bytes(), lmu::standin_vehicle_count); });
  }

  void produce() override {
    if (stamped_rows_) {
      update([this] { write_stamped(); });
    } else {
      update([this] { lmu::write_standin_data(data_.bytes(), lmu::standin_vehicle_count); });
    }
  }

  // Paused: neither written nor signalled.
  void pause() override { std::cout << "Paused Le Mans Ultimate telemetry: no updates" << std::endl; }
  void resume() override { std::cout << "Resumed Le Mans Ultimate telemetry" << std::endl; }

  // As the game going away: the game version 0, announced.
  void finish() {
    update([this] { lmu::write_standin_exit(data_.bytes()); });
  }

  std::int64_t updates() const noexcept { return updates_; }

 private:
  // The lock and the event exist before the data, so a reader that finds
  // LMU_Data finds what its protocol needs beside it.
  static lmu::SharedLock created_lock() {
    lmu::SharedLock lock;
    if (!lock.create()) throw std::runtime_error("cannot create the lock '" + std::string(lmu::lock_name) + "'");
    return lock;
  }
  static platform::NamedEvent created_event() {
    platform::NamedEvent event = platform::NamedEvent::create(lmu::data_event_name, platform::EventWakes::one_waiter);
    if (!event) throw std::runtime_error("cannot create the event '" + std::string(lmu::data_event_name) + "'");
    return event;
  }

  template <typename Write>
  void update(Write&& write) {
    {
      const lmu::LockHold hold(lock_, std::chrono::steady_clock::now() + lock_wait);
      if (!hold.held()) return;
      write();
    }
    event_.signal();
    ++updates_;
  }

  // The whole data part rewritten from the front, the head stamp first and
  // the tail stamp last, held open halfway for a millisecond: a copy that
  // skips the lock tears often.
  void write_stamped() {
    const std::span<std::byte> bytes = data_.bytes();
    image_.resize(bytes.size());
    lmu::write_standin_data(image_, lmu::standin_vehicle_count);
    lmu::stamp_data(image_, ++stamp_);
    const std::size_t half = lmu::payload_size / 2;
    std::copy(image_.begin(), image_.begin() + half, bytes.begin());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::copy(image_.begin() + half, image_.begin() + lmu::payload_size, bytes.begin() + half);
  }

  bool stamped_rows_;
  std::vector<std::byte> image_;
  lmu::SharedLock lock_;
  platform::NamedEvent event_;
  PublishedRegion data_;
  std::uint64_t stamp_ = 0;
  std::int64_t updates_ = 0;
};

}  // namespace

int run_lmu_standin(const StandinOptions& options, const StandinStop& stop) {
  LmuStandin standin(options);
  StandinOptions paced = options;
  if (options.stamped_rows) paced.rate_hz = stamped_updates_per_second;
  std::cout << "Publishing Le Mans Ultimate telemetry (" << lmu::data_size << " bytes, " << lmu::standin_vehicle_count
            << " vehicles, " << paced.rate_hz << " updates a second" << (options.stamped_rows ? ", stamped" : "") << ")"
            << std::endl;
  run_standin_timeline(paced, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing Le Mans Ultimate telemetry after " << standin.updates() << " updates" << std::endl;
  return 0;
}

}  // namespace vove
