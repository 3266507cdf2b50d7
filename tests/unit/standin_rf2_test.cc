// The rFactor 2 stand-in: what it writes, at the offsets and sizes the
// reference gives (literal here, so a wrong layout constant shows), under
// the plugin's version block, and what it leaves at shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_coding.h"
#include "tools/sim_standin/rf2_buffer_content.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

std::uint32_t begin_of(std::span<const std::byte> b) { return coding::decode_u32(b.data()); }
std::uint32_t end_of(std::span<const std::byte> b) { return coding::decode_u32(b.data() + 4); }

TEST(StandinRf2, WritesTheDescribedFieldsUnderTheVersionBlock) {
  std::vector<std::byte> telemetry(241'680), scoring(75'312), extended(10'152);
  bool unequal_while_writing = false;
  rf2::write_versioned(telemetry, [&](std::span<std::byte> bytes) {
    unequal_while_writing = begin_of(bytes) != end_of(bytes);
    rf2::write_standin_telemetry(bytes, 3);
  });
  EXPECT_TRUE(unequal_while_writing);
  EXPECT_EQ(begin_of(telemetry), 1u);
  EXPECT_EQ(end_of(telemetry), 1u);
  EXPECT_EQ(coding::decode_i32(telemetry.data() + 8), 16 + 3 * 1888 - 8);  // mBytesUpdatedHint
  EXPECT_EQ(coding::decode_i32(telemetry.data() + 12), 3);                 // mNumVehicles

  rf2::write_versioned(scoring, [](std::span<std::byte> bytes) { rf2::write_standin_scoring(bytes, 3); });
  EXPECT_EQ(coding::decode_i32(scoring.data() + 8), 560 + 3 * 584 - 8);
  EXPECT_EQ(coding::decode_i32(scoring.data() + 116), 3);  // mNumVehicles, as Telemetry's
  EXPECT_EQ(scoring[120], std::byte{0});                   // mGamePhase: garage
  EXPECT_EQ(scoring[127], std::byte{1});                   // mInRealtime

  rf2::write_versioned(extended, [](std::span<std::byte> bytes) { rf2::write_standin_extended(bytes); });
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(extended.data() + 8), 9), std::string("3.7.15.1\0", 9));
  for (std::size_t flag = 8256; flag <= 8259; ++flag) EXPECT_EQ(extended[flag], std::byte{1}) << flag;
  EXPECT_EQ(begin_of(extended), end_of(extended));
}

TEST(StandinRf2, StampsBothEndsOfTheHintedPartOfTelemetry) {
  std::vector<std::byte> telemetry(241'680);
  rf2::write_standin_telemetry(telemetry, 3);
  rf2::stamp_telemetry(telemetry, 3, 0x0102030405060708u);
  const std::size_t used_end = 8 + static_cast<std::size_t>(coding::decode_i32(telemetry.data() + 8));
  EXPECT_EQ(coding::decode_u64(telemetry.data() + 16), 0x0102030405060708u);
  EXPECT_EQ(coding::decode_u64(telemetry.data() + used_end - 8), 0x0102030405060708u);
  EXPECT_EQ(used_end - 8, 5'672u);
  EXPECT_EQ(coding::decode_i32(telemetry.data() + 12), 3) << "the stamps leave the header fields alone";
}

TEST(StandinRf2, PublishesTheNineBuffersAndZeroesThemUnderABumpAtExit) {
  const ScopedNamePrefix prefix;
  // The reference's mapping sizes and whether each is versioned.
  const std::vector<std::pair<std::string, std::size_t>> expected{
      {"$rFactor2SMMP_Telemetry$", 241'680}, {"$rFactor2SMMP_Scoring$", 75'312},   {"$rFactor2SMMP_Rules$", 45'272},
      {"$rFactor2SMMP_MultiRules$", 39'792}, {"$rFactor2SMMP_ForceFeedback$", 16}, {"$rFactor2SMMP_Graphics$", 272},
      {"$rFactor2SMMP_PitInfo$", 340},       {"$rFactor2SMMP_Weather$", 632},      {"$rFactor2SMMP_Extended$", 10'152},
  };
  StandinOptions options;
  options.simulator = StandinSimulator::rf2;
  BackgroundStandin standin(run_rf2_standin, options);
  std::vector<HeldRegion> regions;
  for (const auto& [name, size] : expected) regions.push_back(hold_region(name, size));
  ASSERT_EQ(standin.stop(), 0);

  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto bytes = regions[i].bytes();
    ASSERT_EQ(bytes.size(), expected[i].second) << expected[i].first;
    const bool versioned =
        expected[i].first != "$rFactor2SMMP_ForceFeedback$" && expected[i].first != "$rFactor2SMMP_Graphics$";
    if (versioned) {
      // At least the first write and the shutdown's bump.
      EXPECT_GE(begin_of(bytes), 2u) << expected[i].first;
      EXPECT_EQ(begin_of(bytes), end_of(bytes)) << expected[i].first;
    }
    const auto data = bytes.subspan(8);
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](std::byte b) { return b == std::byte{0}; }))
        << expected[i].first;
  }
}

}  // namespace

}  // namespace vove
