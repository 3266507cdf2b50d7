// What the Automobilista 2 stand-in writes into "$pcars2$": the layout
// version, a build number and the game state, under the sequence number.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_coding.h"
#include "formats/pcars2_layout.h"

namespace vove::pcars2 {

// Any fixed build will do; readers check mVersion, not the build.
inline constexpr std::uint32_t standin_build_version = 1'000;

// One write as the game makes it: mSequenceNumber made odd, the data
// written, the number made even again.
template <typename Write>
void write_under_sequence(std::span<std::byte> memory, Write&& write) {
  const std::uint32_t sequence = coding::decode_u32(memory.data() + sequence_number_offset);
  coding::encode_u32(memory.data() + sequence_number_offset, sequence + 1u);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  write(memory);
  std::atomic_thread_fence(std::memory_order_release);
  coding::encode_u32(memory.data() + sequence_number_offset, sequence + 2u);
}

// mVersion, mBuildVersionNumber and mGameState; mSessionState and
// mRaceState stay 0.
void write_standin_state(std::span<std::byte> memory, std::uint32_t game_state) noexcept;

// Fault tests (--stamped-rows): a stand-in convention, not a game field.
// `stamp` goes at both ends of the struct a reader copies: right after
// mRaceState (offset 20) and in its last 8 bytes, where layout 14 adds
// mSessionIsPrivate and mLaunchStage; this mode gives up those two.
inline constexpr std::size_t head_stamp_offset = race_state_offset + 4;
inline constexpr std::size_t tail_stamp_offset = largest_layout_size - 8;
void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept;

}  // namespace vove::pcars2
