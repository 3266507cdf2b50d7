// What the Le Mans Ultimate stand-in writes into LMU_Data: only the fields
// whose offsets the layout gives. The vehicle entries stay zero, as in the
// rFactor 2 stand-in's buffers (the same V01 structs, whose fields are not
// described); so do generic.events[] (the event ids are not described).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/lmu_layout.h"

namespace vove::lmu {

// The stand-in's own game version (no real game's value is known here); any
// value but 0 says "running".
inline constexpr std::int32_t standin_game_version = 1;
// The same count in scoring and telemetry, as the game keeps them.
inline constexpr std::int32_t standin_vehicle_count = 3;

// gameVersion, scoringInfo.mNumVehicles and telemetry.activeVehicles.
void write_standin_data(std::span<std::byte> data, std::int32_t vehicles) noexcept;
// What the stand-in leaves on exit: the game version 0, the rest as it was.
void write_standin_exit(std::span<std::byte> data) noexcept;

// Fault tests (--stamped-rows): a stand-in convention, not a game field.
// `stamp` goes at both ends of what carries data: at telemInfo[0]'s first
// bytes (128,468) and in the payload's last 8 bytes (324,812).
inline constexpr std::size_t head_stamp_offset = vehicle_telemetry_offset;
inline constexpr std::size_t tail_stamp_offset = payload_size - 8;
void stamp_data(std::span<std::byte> data, std::uint64_t stamp) noexcept;

}  // namespace vove::lmu
