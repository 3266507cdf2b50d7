// The rFactor 1 / Automobilista 1 stand-in: "$rFactorShared$" at the
// struct's 11,367 bytes (layout 3.0.0.0), opaque bytes that are never all
// zero and change with every update (no field offset is known to write),
// and zeroed when it stops, as the plugin leaves it at session end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/byte_coding.h"
#include "tools/sim_standin/rf1_content.h"
#include "unit/named_memory_test_support.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

bool all_zero(std::span<const std::byte> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

TEST(StandinRf1, WritesBytesThatAreNeverZeroAndAllChangeFromOneUpdateToTheNext) {
  std::vector<std::byte> before(11'367);
  std::vector<std::byte> after(11'367);
  for (const std::uint64_t update : {std::uint64_t{0}, std::uint64_t{254}, std::uint64_t{1'000'000}}) {
    rf1::write_standin_memory(before, update);
    rf1::write_standin_memory(after, update + 1);
    for (std::size_t i = 0; i < before.size(); ++i) {
      ASSERT_NE(before[i], std::byte{0}) << update << " at " << i;
      ASSERT_NE(before[i], after[i]) << update << " at " << i;
    }
  }
  rf1::stamp_memory(after, 9);
  EXPECT_EQ(coding::decode_u64(after.data()), 9u);
  EXPECT_EQ(coding::decode_u64(after.data() + 11'359), 9u);
}

TEST(StandinRf1, IsChosenByItsModeAndStampsAtAFixedRate) {
  const auto stamped = parse_standin_command_line({"--sim", "rf1", "--stamped-rows"}).options;
  EXPECT_EQ(stamped.simulator, StandinSimulator::rf1);
  EXPECT_TRUE(stamped.stamped_rows);
  EXPECT_EQ(parse_standin_command_line({"--sim=rf1", "--rate", "30"}).options.rate_hz, 30.0);
  EXPECT_THROW(parse_standin_command_line({"--sim", "rf1", "--stamped-rows", "--rate", "5"}), std::invalid_argument);
}

TEST(StandinRf1, PublishesTheStructsSizeChangingAndLeavesItZeroed) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::rf1;
  options.rate_hz = 200;
  BackgroundStandin standin(run_rf1_standin, options);
  const HeldRegion region = hold_region("$rFactorShared$", 11'367);
  EXPECT_EQ(region.memory.size().value_or(0), memory_test::kept_size(11'367));
  const auto bytes = region.bytes();
  ASSERT_EQ(bytes.size(), 11'367u);
  const std::vector<std::byte> first(bytes.begin(), bytes.end());
  EXPECT_FALSE(all_zero(first));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::equal(first.begin(), first.end(), bytes.begin()));
  ASSERT_EQ(standin.stop(), 0);
  EXPECT_TRUE(all_zero(bytes));
}

TEST(StandinRf1, StampedRewritesCountAtTheFrontAndAreZeroedAtStop) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::rf1;
  options.stamped_rows = true;
  BackgroundStandin standin(run_rf1_standin, options);
  const HeldRegion region = hold_region("$rFactorShared$", 11'367);
  const auto bytes = region.bytes();
  ASSERT_EQ(bytes.size(), 11'367u);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::uint64_t first = coding::decode_u64(bytes.data());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_GT(coding::decode_u64(bytes.data()), first);
  ASSERT_EQ(standin.stop(), 0);
  EXPECT_TRUE(all_zero(bytes));
}

}  // namespace

}  // namespace vove
