// The iRacing telemetry shared-memory layout, as far as this system touches
// it: the 112-byte header with its four buffer slots, the opaque 144-byte
// variable headers, the two object names, and the rule that picks the slot
// holding the newest data row.
//
// The memory is written by another process, so nothing here is overlaid on
// it: the structs are plain values, decoded from and encoded to bytes. Every
// byte of the header, padding included, survives a decode/encode round trip.
//
//   header (offset 0, 112 bytes; every integer i32 little-endian)
//     0 version | 4 status | 8 tick_rate | 12 session_info_update
//     16 session_info_length | 20 session_info_offset | 24 variable_count
//     28 variable_header_offset | 32 buffer_count | 36 buffer_length
//     40 8 bytes padding | 48 four buffer slots of 16 bytes
//   buffer slot: 0 tick_count | 4 buffer_offset | 8 8 bytes padding
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/source_id.h"

namespace vove::iracing {

inline constexpr SourceId iracing_source_id = make_source_id("irac");

inline constexpr std::string_view memory_map_name = "Local\\IRSDKMemMapFileName";
inline constexpr std::string_view data_valid_event_name = "Local\\IRSDKDataValidEvent";

// Bit of `status` that is set while the simulator produces data.
inline constexpr std::int32_t status_connected = 1;
inline constexpr int buffer_slot_count = 4;
// Size the simulator's mapping is created with.
inline constexpr std::uint32_t mapping_size = 0x40000000;
// The client's last delivered tick while nothing has been delivered since
// its last reset.
inline constexpr std::int32_t no_tick = 0x7fffffff;

inline constexpr std::size_t memory_header_size = 112;
inline constexpr std::size_t status_offset = 4;
inline constexpr std::size_t buffer_slot_size = 16;
inline constexpr std::size_t buffer_slots_offset = 48;
inline constexpr std::size_t variable_header_size = 144;

struct BufferSlot {
  std::int32_t tick_count = 0;
  std::int32_t buffer_offset = 0;
  std::array<std::uint8_t, 8> padding{};

  friend bool operator==(const BufferSlot&, const BufferSlot&) = default;
};

struct MemoryHeader {
  std::int32_t version = 0;
  std::int32_t status = 0;
  std::int32_t tick_rate = 0;
  std::int32_t session_info_update = 0;
  std::int32_t session_info_length = 0;
  std::int32_t session_info_offset = 0;
  std::int32_t variable_count = 0;
  std::int32_t variable_header_offset = 0;
  std::int32_t buffer_count = 0;
  std::int32_t buffer_length = 0;
  std::array<std::uint8_t, 8> padding{};
  std::array<BufferSlot, buffer_slot_count> buffer_slots{};

  bool connected() const noexcept { return (status & status_connected) != 0; }
  friend bool operator==(const MemoryHeader&, const MemoryHeader&) = default;
};

// Described by the simulator; this system never looks inside.
struct VariableHeader {
  std::array<std::uint8_t, variable_header_size> bytes{};

  friend bool operator==(const VariableHeader&, const VariableHeader&) = default;
};

// The value types mirror the byte layout field for field; the coding below
// still goes byte by byte and never relies on this.
static_assert(sizeof(BufferSlot) == buffer_slot_size);
static_assert(sizeof(MemoryHeader) == memory_header_size);
static_assert(sizeof(VariableHeader) == variable_header_size);

using MemoryHeaderBytes = std::array<std::uint8_t, memory_header_size>;

MemoryHeader decode_memory_header(std::span<const std::uint8_t, memory_header_size> bytes) noexcept;
void encode_memory_header(const MemoryHeader& header, std::span<std::uint8_t, memory_header_size> bytes) noexcept;
MemoryHeaderBytes encode_memory_header(const MemoryHeader& header) noexcept;

// The slots a header has in use: at least the first, at most the four,
// whatever `buffer_count` says.
constexpr int slots_in_use(const MemoryHeader& header) noexcept {
  return header.buffer_count < 1                   ? 1
         : header.buffer_count > buffer_slot_count ? buffer_slot_count
                                                   : header.buffer_count;
}

// Index of the slot holding the newest data row: slot 0 unless a later slot
// in use has a strictly greater tick count, so ties keep the lower index.
// Only the four slots the header has are ever looked at, whatever
// `buffer_count` says.
int newest_slot(const MemoryHeader& header) noexcept;

// The tick count of the newest data row the header points at.
std::int32_t newest_tick(const MemoryHeader& header) noexcept;

// True when `length` bytes from `offset` lie inside `size` bytes. Offsets
// and lengths come from another process or a dump file, so nothing here
// may overflow.
constexpr bool lies_within(std::int64_t offset, std::uint64_t length, std::size_t size) noexcept {
  if (offset < 0) return false;
  const auto end = static_cast<std::uint64_t>(size);
  return length <= end && static_cast<std::uint64_t>(offset) <= end - length;
}

// Byte offset of slot `index`'s tick count from the start of the header.
constexpr std::size_t slot_tick_offset(int index) noexcept {
  return buffer_slots_offset + buffer_slot_size * static_cast<std::size_t>(index);
}

}  // namespace vove::iracing
