// The RaceRoom stand-in: "$R3E" at the offsets the reference gives
// (literal here, so a wrong layout constant shows), its clock in ticks of
// 1/400 s, and what it leaves when it exits.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_coding.h"
#include "tools/sim_standin/r3e_content.h"
#include "unit/published_bytes.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

using namespace published;

void expect_header_and_session(std::span<const std::byte> m) {
  EXPECT_EQ(i32_at(m, 0), 3);      // version_major
  EXPECT_EQ(i32_at(m, 4), 5);      // version_minor
  EXPECT_EQ(i32_at(m, 8), 2'008);  // all_drivers_offset: where num_cars is
  EXPECT_EQ(i32_at(m, 12), 328);   // driver_data_size
  EXPECT_NE(i32_at(m, 16), -1);    // game_mode
  EXPECT_NE(i32_at(m, 780), -1);   // session_type
  EXPECT_GE(i32_at(m, 796), 1);    // session_phase: garage …
  EXPECT_LE(i32_at(m, 796), 6);    // … checkered
  EXPECT_EQ(i32_at(m, 2'008), 3);  // num_cars
}

TEST(StandinR3e, WritesTheSelfDescribingHeaderAndTheClock) {
  std::vector<std::byte> memory(43'996);
  r3e::write_standin_memory(memory, 1'000);
  r3e::stamp_memory(memory, 9);
  expect_header_and_session(memory);
  EXPECT_EQ(i32_at(memory, 44), 1'000);                    // player.game_simulation_ticks
  EXPECT_EQ(coding::decode_f64(memory.data() + 48), 2.5);  // player.game_simulation_time
  EXPECT_EQ(coding::decode_u64(memory.data() + 56), 9u);
  EXPECT_EQ(coding::decode_u64(memory.data() + 43'988), 9u);
}

TEST(StandinR3e, LeavesItsLastFrameAtExitWithTheClockAdvanced) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::r3e;
  options.rate_hz = 200;
  BackgroundStandin standin(run_r3e_standin, options);
  const HeldRegion region = hold_region("$R3E", 43'996);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(standin.stop(), 0);
  const auto bytes = region.bytes();
  ASSERT_EQ(bytes.size(), 43'996u);
  expect_header_and_session(bytes);
  const std::int32_t ticks = i32_at(bytes, 44);
  EXPECT_GT(ticks, 0);
  EXPECT_EQ(coding::decode_f64(bytes.data() + 48), ticks / 400.0);
}

}  // namespace

}  // namespace vove
