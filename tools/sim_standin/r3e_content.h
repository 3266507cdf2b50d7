// What the RaceRoom stand-in writes into "$R3E": the self-describing
// header, a game mode, session and car count, and the simulation clock.
// RaceRoom offers no consistency protocol, so these are plain writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/r3e_layout.h"

namespace vove::r3e {

// Any value but `unavailable` says the game knows it; the stand-in's own
// choice, as only -1 has a described meaning.
inline constexpr std::int32_t standin_game_mode = 1;
inline constexpr std::int32_t standin_session_type = 1;
inline constexpr std::int32_t standin_car_count = 3;

// Everything the stand-in publishes, with the clock at `ticks` (1/400 s).
void write_standin_memory(std::span<std::byte> memory, std::int32_t ticks) noexcept;

// Fault tests (--stamped-rows): a stand-in convention, not a game field.
// `stamp` goes at both ends of the struct a reader copies: right after
// game_simulation_time (offset 56) and in its last 8 bytes.
inline constexpr std::size_t head_stamp_offset = simulation_time_offset + 8;
inline constexpr std::size_t tail_stamp_offset = largest_layout_size - 8;
void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept;

}  // namespace vove::r3e
