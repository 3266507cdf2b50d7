#include "tools/sim_standin/rf2_buffer_content.h"

#include <algorithm>

namespace vove::rf2 {

namespace {

// The plugin's bools are one byte each.
void set_flag(std::span<std::byte> buffer, std::size_t offset) noexcept { buffer[offset] = std::byte{1}; }

}  // namespace

std::int32_t telemetry_bytes_in_use(std::int32_t vehicles) noexcept {
  return static_cast<std::int32_t>(telemetry_vehicles_offset - version_block_size) +
         vehicles * static_cast<std::int32_t>(telemetry_vehicle_size);
}

std::int32_t scoring_bytes_in_use(std::int32_t vehicles) noexcept {
  return static_cast<std::int32_t>(scoring_vehicles_offset - version_block_size) +
         vehicles * static_cast<std::int32_t>(scoring_vehicle_size);
}

void write_standin_telemetry(std::span<std::byte> buffer, std::int32_t vehicles) noexcept {
  coding::encode_i32(buffer.data() + bytes_updated_hint_offset, telemetry_bytes_in_use(vehicles));
  coding::encode_i32(buffer.data() + telemetry_vehicle_count_offset, vehicles);
}

void write_standin_scoring(std::span<std::byte> buffer, std::int32_t vehicles) noexcept {
  coding::encode_i32(buffer.data() + bytes_updated_hint_offset, scoring_bytes_in_use(vehicles));
  coding::encode_i32(buffer.data() + scoring_vehicle_count_offset, vehicles);
  buffer[scoring_game_phase_offset] = std::byte{game_phase_garage};
  set_flag(buffer, scoring_in_realtime_offset);
}

void write_standin_extended(std::span<std::byte> buffer) noexcept {
  const auto version = buffer.subspan(extended_version_offset, extended_version_size);
  std::fill(version.begin(), version.end(), std::byte{0});
  std::transform(standin_plugin_version.begin(), standin_plugin_version.end(), version.begin(),
                 [](char c) { return static_cast<std::byte>(c); });
  for (const std::size_t flag : {extended_in_realtime_offset, extended_multimedia_started_offset,
                                 extended_simulation_started_offset, extended_session_started_offset}) {
    set_flag(buffer, flag);
  }
}

std::size_t telemetry_tail_stamp_offset(std::int32_t vehicles) noexcept {
  return version_block_size + static_cast<std::size_t>(telemetry_bytes_in_use(vehicles)) - 8;
}

void stamp_telemetry(std::span<std::byte> buffer, std::int32_t vehicles, std::uint64_t stamp) noexcept {
  coding::encode_u64(buffer.data() + telemetry_head_stamp_offset, stamp);
  coding::encode_u64(buffer.data() + telemetry_tail_stamp_offset(vehicles), stamp);
}

void zero_buffer(std::span<std::byte> buffer, bool versioned) {
  const auto clear = [](std::span<std::byte> bytes) { std::fill(bytes.begin(), bytes.end(), std::byte{0}); };
  if (!versioned) {
    clear(buffer);
    return;
  }
  write_versioned(buffer, [&](std::span<std::byte> bytes) { clear(bytes.subspan(version_block_size)); });
}

}  // namespace vove::rf2
