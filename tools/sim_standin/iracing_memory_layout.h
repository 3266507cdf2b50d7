// Where the iRacing stand-in puts things in its shared memory, and the
// writers of the parts that are not variables or rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "formats/iracing_layout.h"

namespace iRacing {

inline constexpr std::int32_t standin_header_version = 2;
inline constexpr std::int32_t standin_tick_rate = 60;
inline constexpr std::int32_t standin_buffer_count = 3;

struct StandinLayout {
  std::int32_t variable_count = 0;
  std::int32_t variable_header_offset = 0;
  std::int32_t session_info_offset = 0;
  std::int32_t session_info_capacity = 0;  // declared as session_info_length
  std::int32_t buffer_length = 0;
  std::array<std::int32_t, standin_buffer_count> buffer_offsets{};
  std::uint32_t mapping_size = 0;          // the whole region, past the last row
};

// Lays the parts out one after another without overlap: the header at 0,
// the variable headers from 144, then the session text area (128 KiB) and
// the three rows, each of these starting on a 4096-byte boundary, all in a
// 4 MiB region. Throws std::length_error when they would not fit.
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

}  // namespace iRacing
