// Le Mans Ultimate's built-in interface: one data mapping, an auto-reset
// event the game signals on each update, and a lock shared by every reader
// (an 8-byte mapping and the event its slow path waits on). The V01 structs
// inside are pack(4); the wrappers around them use default packing, hence
// the size_t at 552 and the 4 bytes of tail padding. Offsets are those of
// the 64-bit game, counted from the start of the data mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/source_id.h"

namespace vove::lmu {

inline constexpr SourceId lmu_source_id = make_source_id("lmuz");

inline constexpr std::string_view data_name = "LMU_Data";
inline constexpr std::string_view data_event_name = "LMU_Data_Event";  // auto-reset
inline constexpr std::string_view lock_name = "LMU_SharedMemoryLockData";
inline constexpr std::string_view lock_event_name = "LMU_SharedMemoryLockEvent";

// The whole struct with its tail padding, and the part that carries data.
inline constexpr std::uint32_t data_size = 324'824;
inline constexpr std::uint32_t payload_size = 324'820;

// The lock mapping: i32 waiters, i32 busy (0 free, 1 held).
inline constexpr std::uint32_t lock_size = 8;
inline constexpr std::size_t lock_waiters_offset = 0;
inline constexpr std::size_t lock_busy_offset = 4;
// Compare-exchange attempts before a taker waits on the lock event.
inline constexpr int lock_spins = 4'000;

// generic: u32 events[16], i32 gameVersion (0: not running), f32
// FFBTorque, then ApplicationStateV01; 332 bytes in all.
inline constexpr std::size_t generic_offset = 0;
inline constexpr std::size_t events_offset = 0;
inline constexpr std::size_t event_count = 16;
inline constexpr std::size_t game_version_offset = 64;
inline constexpr std::size_t ffb_torque_offset = 68;
inline constexpr std::size_t application_state_offset = 72;
inline constexpr std::size_t generic_size = 332;
// paths: 5 x 260 bytes.
inline constexpr std::size_t paths_offset = 332;
inline constexpr std::size_t path_count = 5;
inline constexpr std::size_t path_size = 260;

// scoring: ScoringInfoV01 (548 bytes), then vehScoringInfo[104] and
// scoringStream[65536]. The offsets inside scoring are derived from the
// sizes above, not given as such: size_t scoringStreamSize aligned to 8
// after ScoringInfoV01 (552), the vehicles after it (560), the stream after
// them (61,296); 1,632 + 61,296 + 65,536 = 128,464, where telemetry starts.
inline constexpr std::size_t scoring_offset = 1'632;
inline constexpr std::size_t scoring_info_size = 548;
inline constexpr std::size_t scoring_stream_size_offset = scoring_offset + 552;
inline constexpr std::size_t vehicle_scoring_offset = scoring_offset + 560;
inline constexpr std::size_t vehicle_scoring_size = 584;
inline constexpr std::size_t scoring_stream_offset = scoring_offset + 61'296;
inline constexpr std::size_t scoring_stream_bytes = 65'536;
// scoringInfo.mNumVehicles (i32): derived from rF2's Scoring buffer, which
// holds the same pack(4) ScoringInfoV01 at 12 with mNumVehicles at 116.
inline constexpr std::size_t scoring_vehicle_count_offset = scoring_offset + (116 - 12);

// telemetry: u8 activeVehicles, u8 playerVehicleIdx, u8 playerHasVehicle,
// then telemInfo[104] of 1,888 bytes. telemInfo's offset (the first
// 4-aligned one after the three bytes) is derived: 128,468 + 104 x 1,888 =
// 324,820, the payload size.
inline constexpr std::size_t telemetry_offset = 128'464;
inline constexpr std::size_t active_vehicles_offset = telemetry_offset;
inline constexpr std::size_t player_vehicle_index_offset = telemetry_offset + 1;
inline constexpr std::size_t player_has_vehicle_offset = telemetry_offset + 2;
inline constexpr std::size_t vehicle_telemetry_offset = telemetry_offset + 4;
inline constexpr std::size_t vehicle_telemetry_size = 1'888;
inline constexpr std::size_t max_vehicles = 104;

static_assert(scoring_stream_offset + scoring_stream_bytes == telemetry_offset);
static_assert(vehicle_scoring_offset + max_vehicles * vehicle_scoring_size == scoring_stream_offset);
static_assert(vehicle_telemetry_offset + max_vehicles * vehicle_telemetry_size == payload_size);
static_assert(paths_offset + path_count * path_size == scoring_offset);

// The game version the data carries; none when the bytes are too short to
// hold it. 0 means the game is not running.
std::optional<std::int32_t> game_version(std::span<const std::uint8_t> data) noexcept;

// What `dumptool info` shows as the layout: the game publishes no layout
// version, only its own version, so a frame names "game version N"; none
// for a frame without LMU_Data or with a game version of 0.
std::optional<std::string> layout_version(const std::vector<std::uint8_t>& payload);

}  // namespace vove::lmu
