// Where live iRacing memory keeps its parts, laid out as the simulator lays
// out its own: the header at 0, the variable headers from 144, then the
// session text area and three rows, one after another without overlap,
// each of these starting on a 4096-byte boundary. Whatever publishes live
// memory or frames shaped like it plans them here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "formats/iracing_layout.h"

namespace vove::iracing {

// Live memory keeps three rows, so a reader that copies one while the next
// is written still finds it whole.
inline constexpr int live_buffer_count = 3;
inline constexpr std::int32_t live_variable_header_offset = 144;
inline constexpr std::int64_t live_area_alignment = 4096;
// The session text area the simulator gives a text of ordinary length.
inline constexpr std::int64_t live_session_area = 128 * 1024;

struct LiveMemoryPlan {
  std::int32_t variable_count = 0;
  std::int32_t variable_header_offset = 0;
  std::int32_t session_info_offset = 0;
  std::int32_t session_info_capacity = 0;  // declared as session_info_length
  std::int32_t buffer_length = 0;
  std::array<std::int32_t, live_buffer_count> buffer_offsets{};
  std::int64_t end = 0;  // just past the last row
};

// `value` rounded up to a whole number of areas.
constexpr std::int64_t align_to_area(std::int64_t value) noexcept {
  return (value + live_area_alignment - 1) / live_area_alignment * live_area_alignment;
}

// The session text area for a text of `length` bytes: 128 KiB, or more
// whole pages when the text and its terminating zero need them.
std::int64_t session_area_for(std::size_t length) noexcept;

// The parts for `variable_count` variable headers, a session text area of
// `session_area` bytes (a multiple of 4096) and rows of `row_length` bytes.
// Offsets are computed in 64 bits; whoever maps the memory checks `end`
// against its size before they are stored in 32.
LiveMemoryPlan plan_live_memory(std::int32_t variable_count, std::int64_t session_area,
                                std::int32_t row_length) noexcept;

// Sets the header's offsets, counts and lengths to `plan`'s (three slots in
// use, each at its row); the rest of `header` stays as it is.
void place_parts(const LiveMemoryPlan& plan, MemoryHeader& header) noexcept;

}  // namespace vove::iracing
