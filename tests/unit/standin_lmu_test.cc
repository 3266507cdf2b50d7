// The Le Mans Ultimate stand-in: what it writes, at the offsets the
// reference gives (literal here, so a wrong layout constant shows), its
// event and lock beside the data, writes only under the lock, and what it
// leaves when it exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "common/platform/mapped_page.h"
#include "tools/sim_standin/lmu_content.h"
#include "unit/named_memory_test_support.h"
#include "unit/published_bytes.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

using namespace published;
using namespace std::chrono_literals;

TEST(StandinLmu, WritesOnlyTheGameVersionAndTheTwoEqualVehicleCounts) {
  std::vector<std::byte> data(324'824);
  lmu::write_standin_data(data, 3);
  EXPECT_NE(i32_at(data, 64), 0);                     // generic.gameVersion: running
  EXPECT_EQ(i32_at(data, 1'632 + 104), 3);            // scoringInfo.mNumVehicles
  EXPECT_EQ(std::to_integer<int>(data[128'464]), 3);  // telemetry.activeVehicles
  const auto nonzero = std::count_if(data.begin(), data.end(), [](std::byte b) { return b != std::byte{0}; });
  EXPECT_LE(nonzero, 4 + 1 + 1) << "nothing beyond the three fields";
  lmu::stamp_data(data, 0x1122334455667788u);
  EXPECT_EQ(u64_at(data, 128'468), 0x1122334455667788u);      // telemInfo[0]
  EXPECT_EQ(u64_at(data, 324'820 - 8), 0x1122334455667788u);  // the payload's last 8 bytes
  lmu::write_standin_exit(data);
  EXPECT_EQ(i32_at(data, 64), 0);
}

TEST(StandinLmu, PublishesTheDataWithItsEventAndLockWritesUnderTheLockAndLeavesVersion0) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::lmu;
  options.stamped_rows = true;
  BackgroundStandin standin(run_lmu_standin, options);
  const HeldRegion data = hold_region("LMU_Data", 324'824);
  ASSERT_EQ(data.bytes().size(), 324'824u);
  const HeldRegion lock_view = hold_region("LMU_SharedMemoryLockData", 8);
  const platform::NamedEvent event = platform::NamedEvent::open_existing("LMU_Data_Event");
  ASSERT_TRUE(event.is_open());
  EXPECT_TRUE(platform::NamedEvent::open_existing("LMU_SharedMemoryLockEvent").is_open());
  EXPECT_TRUE(event.wait(memory_test::hang_bound)) << "an update is announced";
  EXPECT_NE(i32_at(data.bytes(), 64), 0);
  EXPECT_EQ(i32_at(data.bytes(), 1'736), std::to_integer<int>(data.bytes()[128'464]));

  // Busy held by a reader: the stand-in writes nothing meanwhile.
  platform::MappedPage lock;
  ASSERT_TRUE(lock.open_existing("LMU_SharedMemoryLockData", platform::Access::write) &&
              lock.map(platform::Access::write, 8));
  std::atomic_ref<std::int32_t> busy(*reinterpret_cast<std::int32_t*>(lock.data() + 4));
  std::int32_t expected = 0;
  const auto give_up = std::chrono::steady_clock::now() + memory_test::hang_bound;
  while (!busy.compare_exchange_strong(expected, 1) && std::chrono::steady_clock::now() < give_up) {
    expected = 0;
    std::this_thread::yield();
  }
  ASSERT_EQ(busy.load(), 1);
  const std::uint64_t held_stamp = u64_at(data.bytes(), 128'468);
  EXPECT_EQ(u64_at(data.bytes(), 324'812), held_stamp) << "no write was under way";
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(u64_at(data.bytes(), 128'468), held_stamp);
  EXPECT_EQ(u64_at(data.bytes(), 324'812), held_stamp);
  busy.store(0);
  while (u64_at(data.bytes(), 324'812) == held_stamp && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(1ms);
  EXPECT_NE(u64_at(data.bytes(), 324'812), held_stamp) << "writes resume once the lock is free";

  ASSERT_EQ(standin.stop(), 0);
  EXPECT_EQ(i32_at(data.bytes(), 64), 0) << "the game version 0 on exit";
  EXPECT_EQ(i32_at(data.bytes(), 1'736), 3);
}

}  // namespace

}  // namespace vove
