// Assetto Corsa 1's shared memory: the same three pages, under the same
// names, as ACC (formats/acc_pages.h), with smaller pages and a graphics
// layout of its own from offset 252. Recorded as named objects at the
// pages' real sizes, never as ACC's fixed 3700-byte frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"
#include "formats/acc_pages.h"

namespace vove::ac1 {

inline constexpr SourceId ac1_source_id = make_source_id("ac1z");

inline constexpr std::string_view graphics_name = acc::graphics_page.mapping_name;
inline constexpr std::string_view physics_name = acc::physics_page.mapping_name;
inline constexpr std::string_view static_name = acc::static_page.mapping_name;

// The largest page of each that AC1's published layouts have (physics
// through tyreTemp, graphics through windDirection, static through
// isOnline): a replay never creates a page smaller.
inline constexpr std::uint32_t largest_physics_size = 712;
inline constexpr std::uint32_t largest_graphics_size = 296;
inline constexpr std::uint32_t largest_static_size = 688;
// The smallest of each (physics and graphics of the first layouts, static
// with a 15-unit trackConfiguration): a smaller page is no AC1 page.
inline constexpr std::uint32_t smallest_physics_size = 288;
inline constexpr std::uint32_t smallest_graphics_size = 288;
inline constexpr std::uint32_t smallest_static_size = 648;

// Both pages' int32 packetId, at their start, advances with every update.
inline constexpr std::size_t packet_id_offset = 0;
// graphics.status: AC_OFF 0, AC_REPLAY 1, AC_LIVE 2, AC_PAUSE 3.
inline constexpr std::size_t status_offset = acc::sim_status_offset;
inline constexpr std::int32_t status_off = 0;

// The graphics fields where AC1 and ACC part: both agree up to
// normalizedCarPosition (248); from 252 AC1 has these.
inline constexpr std::size_t car_coordinates_offset = 252;     // float[3]
inline constexpr std::size_t penalty_time_offset = 264;        // float
inline constexpr std::size_t flag_offset = 268;                // int32, AC_FLAG_TYPE 0 … 6
inline constexpr std::size_t ideal_line_on_offset = 272;       // int32, 0/1
inline constexpr std::size_t is_in_pit_lane_offset = 276;      // int32, 0/1
inline constexpr std::size_t surface_grip_offset = 280;        // float
inline constexpr std::size_t mandatory_pit_done_offset = 284;  // int32, 0/1
inline constexpr std::size_t wind_speed_offset = 288;          // float
inline constexpr std::size_t wind_direction_offset = 292;      // float
inline constexpr std::int32_t largest_flag = 6;

// The graphics fields ACC moved behind its 60 cars, by ACC's name, at the
// offsets AC1 has them.
struct MovedField {
  std::string_view name;
  std::size_t offset;
};
inline constexpr std::array<MovedField, 8> moved_graphics_fields{{
    {"penaltyTime", penalty_time_offset},
    {"flag", flag_offset},
    {"idealLineOn", ideal_line_on_offset},
    {"isInPitLane", is_in_pit_lane_offset},
    {"surfaceGrip", surface_grip_offset},
    {"mandatoryPitDone", mandatory_pit_done_offset},
    {"windSpeed", wind_speed_offset},
    {"windDirection", wind_direction_offset},
}};

// static.smVersion: the layout's version text, wchar_t[15] at offset 0.
inline constexpr std::size_t sm_version_offset = 0;
inline constexpr std::size_t sm_version_units = 15;

// The layout version a frame's static page names ("1.7"); none when the
// frame holds no static page or no text there.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::ac1
