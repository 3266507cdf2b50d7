// What the rFactor 2 stand-in writes into the plugin's buffers: only the
// fields the layout describes, under the version block where the plugin
// uses one. Vehicle entries stay zero: their fields are not described.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/byte_coding.h"
#include "formats/rf2_layout.h"

namespace vove::rf2 {

// The same count in Telemetry and Scoring, as the game keeps them.
inline constexpr std::int32_t standin_vehicle_count = 3;
inline constexpr std::string_view standin_plugin_version = "3.7.15.1";

// mBytesUpdatedHint for `vehicles` vehicles: the end of the last one,
// counted from the end of the version block.
std::int32_t telemetry_bytes_in_use(std::int32_t vehicles) noexcept;
std::int32_t scoring_bytes_in_use(std::int32_t vehicles) noexcept;

// One write as the plugin makes it: mVersionUpdateBegin bumped, the data
// written, then mVersionUpdateEnd set equal to Begin.
template <typename Write>
void write_versioned(std::span<std::byte> buffer, Write&& write) {
  const std::uint32_t version = coding::decode_u32(buffer.data() + version_begin_offset) + 1u;
  coding::encode_u32(buffer.data() + version_begin_offset, version);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  write(buffer);
  std::atomic_thread_fence(std::memory_order_release);
  coding::encode_u32(buffer.data() + version_end_offset, version);
}

void write_standin_telemetry(std::span<std::byte> buffer, std::int32_t vehicles) noexcept;
void write_standin_scoring(std::span<std::byte> buffer, std::int32_t vehicles) noexcept;
// The plugin version and the started / in-realtime flags, all set.
void write_standin_extended(std::span<std::byte> buffer) noexcept;

// Fault tests (--stamped-rows): a stand-in convention, not a plugin field.
// `stamp` goes at both ends of the part of Telemetry a reader copies as the
// hint gives it: at offset 16 (vehicle 0's first bytes) and in the last 8
// bytes of vehicle `vehicles` - 1.
inline constexpr std::size_t telemetry_head_stamp_offset = telemetry_vehicles_offset;
std::size_t telemetry_tail_stamp_offset(std::int32_t vehicles) noexcept;
void stamp_telemetry(std::span<std::byte> buffer, std::int32_t vehicles, std::uint64_t stamp) noexcept;

// What the plugin leaves at shutdown: every byte zero, under a version bump
// for a versioned buffer.
void zero_buffer(std::span<std::byte> buffer, bool versioned);

}  // namespace vove::rf2
