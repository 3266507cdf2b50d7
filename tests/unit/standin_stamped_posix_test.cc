// --stamped-rows for rF2 and AMS2, read from another process as their
// readers do: every copy the protocol accepts has equal stamps at both ends.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "common/byte_coding.h"
#include "common/stop_signal.h"
#include "tools/sim_standin/standin_options.h"
#include "unit/console_capture.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

using Run = int (*)(const StandinOptions&, const StandinStop&);

// The stand-in in a child process for `seconds`; its exit code is the publisher's.
pid_t start_child(Run run, StandinSimulator simulator, double seconds) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 2;
    try {
      const ConsoleCapture quiet;
      StandinOptions options;
      options.simulator = simulator;
      options.stamped_rows = true;
      options.run_seconds = seconds;
      const std::atomic<bool> never{false};
      const StopSignal interrupt = StopSignal::watching(never);
      code = run(options, StandinStop{interrupt, never});
    } catch (...) {
    }
    ::_exit(code);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

struct Tally {
  int accepted = 0;
  int torn = 0;
  std::set<std::uint64_t> stamps;
};

template <typename Copy>
Tally read_for(std::chrono::milliseconds span, Copy&& copy) {
  Tally tally;
  const auto until = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < until) copy(tally);
  return tally;
}

TEST(StandinStampedRows, Rf2TelemetryCopiesUnderTheVersionBlockHaveEqualStamps) {
  const ScopedNamePrefix prefix;
  const pid_t child = start_child(run_rf2_standin, StandinSimulator::rf2, 1.5);
  const HeldRegion telemetry = hold_region("$rFactor2SMMP_Telemetry$", 241'680);
  const std::byte* shared = telemetry.view.data();
  std::vector<std::byte> copy(241'680);
  const Tally tally = read_for(std::chrono::milliseconds(700), [&](Tally& t) {
    // As the plugin's reference reader: Begin == End, the data, the block again.
    std::byte block[8];
    std::memcpy(block, shared, 8);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (coding::decode_u32(block) != coding::decode_u32(block + 4)) return;
    const std::int32_t hint = coding::decode_i32(shared + 8);
    if (hint < 16 || hint > 241'672) return;
    const std::size_t used = 8 + static_cast<std::size_t>(hint);
    std::memcpy(copy.data(), shared, used);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (std::memcmp(block, shared, 8) != 0 || std::memcmp(block, copy.data(), 8) != 0) return;
    const std::uint64_t head = coding::decode_u64(copy.data() + 16);
    ++t.accepted;
    if (head != coding::decode_u64(copy.data() + used - 8)) ++t.torn;
    t.stamps.insert(head);
  });
  EXPECT_EQ(wait_for(child), 0);
  EXPECT_EQ(tally.torn, 0);
  EXPECT_GT(tally.accepted, 100);
  EXPECT_GT(tally.stamps.size(), 50u) << "Telemetry is rewritten 400 times a second";
}

TEST(StandinStampedRows, Ams2CopiesUnderTheSequenceNumberHaveEqualStamps) {
  const ScopedNamePrefix prefix;
  const pid_t child = start_child(run_ams2_standin, StandinSimulator::ams2, 1.5);
  const HeldRegion memory = hold_region("$pcars2$", 20'700);
  const std::byte* shared = memory.view.data();
  std::vector<std::byte> copy(20'700);
  const Tally tally = read_for(std::chrono::milliseconds(700), [&](Tally& t) {
    // As the game's sample: skip an odd number, copy all, discard on a change.
    const std::uint32_t before = coding::decode_u32(shared + 7'320);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (before % 2 != 0) return;
    std::memcpy(copy.data(), shared, copy.size());
    std::atomic_thread_fence(std::memory_order_acquire);
    if (coding::decode_u32(shared + 7'320) != before) return;
    const std::uint64_t head = coding::decode_u64(copy.data() + 20);
    ++t.accepted;
    if (head != coding::decode_u64(copy.data() + 20'692)) ++t.torn;
    t.stamps.insert(head);
  });
  EXPECT_EQ(wait_for(child), 0);
  EXPECT_EQ(tally.torn, 0);
  EXPECT_GT(tally.accepted, 100);
  EXPECT_GT(tally.stamps.size(), 50u) << "the struct is rewritten 400 times a second";
}

}  // namespace

}  // namespace vove
