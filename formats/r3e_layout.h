// RaceRoom's shared memory: one struct under "$R3E" (pack 1) that names its
// own layout version in its first two fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::r3e {

inline constexpr SourceId r3e_source_id = make_source_id("r3ez");
inline constexpr std::string_view mapping_name = "$R3E";

inline constexpr std::size_t version_major_offset = 0;       // i32
inline constexpr std::size_t version_minor_offset = 4;       // i32
inline constexpr std::size_t all_drivers_offset_offset = 8;  // i32, where num_cars is
inline constexpr std::size_t driver_data_size_offset = 12;   // i32
inline constexpr std::size_t game_mode_offset = 16;          // i32, -1 unavailable
// player.game_simulation_ticks (i32, 1/400 s) and game_simulation_time
// (f64, s): they advance with the physics, the one sign of a new frame.
inline constexpr std::size_t simulation_ticks_offset = 44;
inline constexpr std::size_t simulation_time_offset = 48;
inline constexpr std::size_t session_type_offset = 780;   // i32, -1 unavailable
inline constexpr std::size_t session_phase_offset = 796;  // i32, -1 unavailable, 1 garage … 6 checkered
inline constexpr std::size_t num_cars_offset = 2'008;     // i32 (3.5)
inline constexpr std::size_t drivers_offset = 2'012;      // 3.5: 128 drivers of 328 bytes
inline constexpr std::size_t driver_data_size = 328;
inline constexpr double ticks_per_second = 400.0;
// game_mode, session_type and session_phase when the game cannot say.
inline constexpr std::int32_t unavailable = -1;
inline constexpr std::int32_t session_phase_garage = 1;
inline constexpr std::int32_t session_phase_checkered = 6;

// The struct's size for a layout version this system knows (1.7, 2.6 to
// 2.16, 3.1 to 3.5); none for any other.
std::optional<std::uint32_t> layout_size(std::int32_t major, std::int32_t minor) noexcept;
// The largest layout's (3.4 and 3.5): what readers map at most.
inline constexpr std::uint32_t largest_layout_size = 43'996;
inline constexpr std::int32_t largest_layout_major = 3;
inline constexpr std::int32_t largest_layout_minor = 5;

// The layout version a named-object frame's mapping names (version_major.version_minor ("3.5"));
// none when the frame holds no such mapping or too little of it.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::r3e
