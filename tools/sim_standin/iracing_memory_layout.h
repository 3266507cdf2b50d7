// Where the iRacing stand-in puts things in its shared memory, and the
// writers of the parts that are not variables or rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "formats/iracing_layout.h"
#include "formats/iracing_memory_plan.h"

namespace vove::iracing {

inline constexpr std::int32_t standin_header_version = 2;
inline constexpr std::int32_t standin_tick_rate = 60;
inline constexpr std::int32_t standin_buffer_count = live_buffer_count;

struct StandinLayout : LiveMemoryPlan {
  std::uint32_t mapping_size = 0;  // the whole region, past the last row
};

// The parts as live memory lays them out, with a session text area of
// 128 KiB, all in a 4 MiB region. Throws std::length_error when they would
// not fit.
StandinLayout plan_standin_layout(std::int32_t variable_count, std::int32_t row_length);

// The memory header for `layout`: version 2, tick rate 60, three slots at
// the layout's rows with tick count 0, status 0, session_info_update 0.
MemoryHeader standin_memory_header(const StandinLayout& layout) noexcept;

// Writes `header`'s 112 bytes at the start of `memory`.
void write_memory_header(std::span<std::byte> memory, const MemoryHeader& header);

// Copies `text` into the session text area with its terminating zero, cut
// to the area's capacity less one. Bytes after the zero stay as they were,
// as a simulator rewriting a shorter text leaves them.
void write_session_text(std::span<std::byte> memory, const StandinLayout& layout, std::string_view text);

// The data row of buffer slot `slot` in `memory`.
std::span<std::byte> row_of_slot(std::span<std::byte> memory, const StandinLayout& layout, std::size_t slot);

}  // namespace vove::iracing
