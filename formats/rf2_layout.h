// rFactor 2's shared memory as its shared-memory map plugin (3.x) publishes
// it: nine output buffers, each an 8-byte version block and the buffer's
// struct (pack 4). Sizes are those of the 64-bit plugin, version block
// included; the recorder records each buffer at the size the plugin made it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::rf2 {

inline constexpr SourceId rf2_source_id = make_source_id("rf2z");

struct BufferDescription {
  std::string_view name;
  std::uint32_t size;  // the 64-bit plugin's, version block included
  // Written under the version block (Begin bumped, data, End bumped); the
  // others are plain memory.
  bool versioned;
  // Begins with mBytesUpdatedHint: the bytes in use, counted from offset 8.
  bool has_hint;
  // Without it the simulator is not recorded; the rest are recorded when the
  // plugin made them (Graphics and Weather are unsubscribed by default).
  bool required;
};

// Extended last: the plugin initialises it last, as its "ready" marker.
inline constexpr std::array<BufferDescription, 9> buffers{{
    {"$rFactor2SMMP_Telemetry$", 241'680, true, true, true},
    {"$rFactor2SMMP_Scoring$", 75'312, true, true, true},
    {"$rFactor2SMMP_Rules$", 45'272, true, true, false},
    {"$rFactor2SMMP_MultiRules$", 39'792, true, true, false},
    {"$rFactor2SMMP_ForceFeedback$", 16, false, false, false},
    {"$rFactor2SMMP_Graphics$", 272, false, false, false},
    {"$rFactor2SMMP_PitInfo$", 340, true, false, false},
    {"$rFactor2SMMP_Weather$", 632, true, false, false},
    {"$rFactor2SMMP_Extended$", 10'152, true, false, true},
}};

const BufferDescription* find_buffer(std::string_view name) noexcept;
inline constexpr std::string_view telemetry_name = "$rFactor2SMMP_Telemetry$";
inline constexpr std::string_view scoring_name = "$rFactor2SMMP_Scoring$";
inline constexpr std::string_view extended_name = "$rFactor2SMMP_Extended$";

// Every buffer: the version block.
inline constexpr std::size_t version_begin_offset = 0;  // u32 mVersionUpdateBegin
inline constexpr std::size_t version_end_offset = 4;    // u32 mVersionUpdateEnd
inline constexpr std::size_t version_block_size = 8;
// Telemetry, Scoring, Rules, MultiRules: i32 mBytesUpdatedHint, 0 = all.
inline constexpr std::size_t bytes_updated_hint_offset = 8;

// Telemetry: i32 mNumVehicles, then 128 vehicles of 1,888 bytes.
inline constexpr std::size_t telemetry_vehicle_count_offset = 12;
inline constexpr std::size_t telemetry_vehicles_offset = 16;
inline constexpr std::size_t telemetry_vehicle_size = 1'888;
// Scoring: mScoringInfo's i32 mNumVehicles, u8 mGamePhase, bool
// mInRealtime; 584-byte vehicles from offset 560.
inline constexpr std::size_t scoring_vehicle_count_offset = 116;
inline constexpr std::size_t scoring_game_phase_offset = 120;
inline constexpr std::size_t scoring_in_realtime_offset = 127;
inline constexpr std::size_t scoring_vehicles_offset = 560;
inline constexpr std::size_t scoring_vehicle_size = 584;
inline constexpr std::size_t max_vehicles = 128;
// mGamePhase: 0 garage … 8 session over.
inline constexpr std::uint8_t game_phase_garage = 0;
inline constexpr std::uint8_t game_phase_session_over = 8;
// Extended: char mVersion[12], the plugin version ("3.7.15.1"), and bools.
inline constexpr std::size_t extended_version_offset = 8;
inline constexpr std::size_t extended_version_size = 12;
inline constexpr std::size_t extended_in_realtime_offset = 8256;         // mInRealtimeFC
inline constexpr std::size_t extended_multimedia_started_offset = 8257;  // mMultimediaThreadStarted
inline constexpr std::size_t extended_simulation_started_offset = 8258;  // mSimulationThreadStarted
inline constexpr std::size_t extended_session_started_offset = 8259;     // mSessionStarted

// The plugin version Extended carries, up to its terminating zero; none
// when the bytes hold no printable text (a buffer zeroed at shutdown).
std::optional<std::string> plugin_version(std::span<const std::uint8_t> extended);
// Whether the plugin version names a layout this system knows: the plugin
// changes one of the first two digits whenever the layout changes, and
// the sizes above are those of 3.7.
bool is_known_layout(std::string_view plugin_version) noexcept;

// The plugin version a named-object frame's Extended buffer carries; none
// when the frame holds no such buffer, or it holds no version.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::rf2
