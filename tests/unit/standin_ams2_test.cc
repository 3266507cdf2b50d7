// The AMS2 stand-in: "$pcars2$" at the offsets the reference gives (literal
// here, so a wrong layout constant shows), under the sequence number, and
// the state it leaves when it exits.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/byte_coding.h"
#include "tools/sim_standin/pcars2_content.h"
#include "unit/published_bytes.h"
#include "unit/scoped_name_prefix.h"
#include "unit/standin_background.h"

namespace vove {

namespace {

using namespace published;

TEST(StandinAms2, WritesTheStateWithTheSequenceNumberOddWhileWriting) {
  std::vector<std::byte> memory(20'700);
  std::uint32_t sequence_while_writing = 0;
  pcars2::write_under_sequence(memory, [&](std::span<std::byte> bytes) {
    sequence_while_writing = u32_at(bytes, 7'320);
    pcars2::write_standin_state(bytes, 2);
    pcars2::stamp_memory(bytes, 77);
  });
  EXPECT_EQ(sequence_while_writing % 2, 1u);
  EXPECT_EQ(u32_at(memory, 7'320), sequence_while_writing + 1);
  EXPECT_EQ(u32_at(memory, 0), 14u);  // mVersion
  EXPECT_NE(u32_at(memory, 4), 0u);   // mBuildVersionNumber
  EXPECT_EQ(u32_at(memory, 8), 2u);   // mGameState: playing
  EXPECT_EQ(u32_at(memory, 12), 0u);  // mSessionState
  EXPECT_EQ(u32_at(memory, 16), 0u);  // mRaceState
  EXPECT_EQ(coding::decode_u64(memory.data() + 20), 77u);
  EXPECT_EQ(coding::decode_u64(memory.data() + 20'692), 77u);
}

TEST(StandinAms2, LeavesTheGameExitedWithAnEvenSequenceNumber) {
  const ScopedNamePrefix prefix;
  StandinOptions options;
  options.simulator = StandinSimulator::ams2;
  BackgroundStandin standin(run_ams2_standin, options);
  const HeldRegion region = hold_region("$pcars2$", 20'700);
  ASSERT_EQ(standin.stop(), 0);
  const auto bytes = region.bytes();
  ASSERT_EQ(bytes.size(), 20'700u);
  EXPECT_EQ(u32_at(bytes, 8), 0u);  // mGameState: exited
  EXPECT_EQ(u32_at(bytes, 0), 14u);
  const std::uint32_t sequence = u32_at(bytes, 7'320);
  EXPECT_EQ(sequence % 2, 0u);
  EXPECT_GE(sequence, 4u) << "the first write and the exit's, each under the protocol";
}

}  // namespace

}  // namespace vove
