// Runs one of the stand-in's publishers on a thread of the test, so its
// named regions can be opened while it publishes and read once it has
// stopped (the thread's end orders its writes before the test's reads).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "common/platform/platform.h"
#include "common/stop_signal.h"
#include "tools/sim_standin/standin_options.h"
#include "unit/console_capture.h"

namespace vove {

class BackgroundStandin {
 public:
  using Run = int (*)(const StandinOptions&, const StandinStop&);

  BackgroundStandin(Run run, StandinOptions options)
      : options_(std::move(options)), interrupt_(StopSignal::watching(stop_)), thread_([this, run] {
          try {
            exit_code_ = run(options_, StandinStop{interrupt_, terminate_});
          } catch (const std::exception& error) {
            error_ = error.what();
          }
        }) {}
  BackgroundStandin(const BackgroundStandin&) = delete;
  BackgroundStandin& operator=(const BackgroundStandin&) = delete;
  ~BackgroundStandin() { stop(); }

  // Asks the publisher to finish and waits for it; its exit code, -1 if it threw.
  int stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    EXPECT_EQ(error_, "");
    return exit_code_;
  }

 private:
  ConsoleCapture console_;  // its lines are not the test's
  StandinOptions options_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> terminate_{false};
  StopSignal interrupt_;
  int exit_code_ = -1;
  std::string error_;
  std::thread thread_;
};

// A region the stand-in publishes, opened for reading as a consumer would,
// and kept mapped after the stand-in lets go of its name.
struct HeldRegion {
  platform::SharedMemory memory;
  platform::MappedView view;

  std::span<const std::byte> bytes() const noexcept { return {view.data(), view.size()}; }
};

// Waits up to three seconds for `name` to exist with `size` bytes.
inline HeldRegion hold_region(std::string_view name, std::size_t size) {
  HeldRegion region;
  for (int attempt = 0; attempt < 300; ++attempt) {
    region.memory = platform::SharedMemory::open_existing(name, platform::Access::read);
    // Wine keeps only whole pages of a region.
    const std::uint64_t kept = region.memory ? region.memory.size().value_or(0) : 0;
    if (kept >= size && (kept + 4095) / 4096 == (size + 4095) / 4096) {
      region.view = region.memory.map(platform::Access::read, size);
      if (region.view) return region;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "no region '" << name << "' of " << size << " bytes";
  return region;
}

}  // namespace vove
