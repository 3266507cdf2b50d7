// The shared memory of Automobilista 2 and Project CARS 2 and 3, one flat
// struct under "$pcars2$" (natural alignment, all members 4 bytes or
// smaller).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::pcars2 {

inline constexpr SourceId pcars2_source_id = make_source_id("pc2z");
inline constexpr std::string_view mapping_name = "$pcars2$";

inline constexpr std::size_t version_offset = 0;        // u32 mVersion, the layout
inline constexpr std::size_t build_version_offset = 4;  // u32 mBuildVersionNumber
inline constexpr std::size_t game_state_offset = 8;     // u32 mGameState
inline constexpr std::size_t session_state_offset = 12;
inline constexpr std::size_t race_state_offset = 16;
// u32 mSequenceNumber: odd while the game writes, even when it is done.
inline constexpr std::size_t sequence_number_offset = 7'320;

// mGameState values.
inline constexpr std::uint32_t game_exited = 0;
inline constexpr std::uint32_t game_front_end = 1;
inline constexpr std::uint32_t game_playing = 2;
inline constexpr std::uint32_t game_paused = 3;

// The struct's size for a layout this system knows (9: the final Project
// CARS 2 header, also Project CARS 3; 13 and 14: Automobilista 2); none for
// any other.
std::optional<std::uint32_t> layout_size(std::uint32_t version) noexcept;
// The largest layout's: what readers map at most.
inline constexpr std::uint32_t largest_layout_size = 20'700;
inline constexpr std::uint32_t largest_layout_version = 14;

// The layout version a named-object frame's mapping names (mVersion);
// none when the frame holds no such mapping or too little of it.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::pcars2
