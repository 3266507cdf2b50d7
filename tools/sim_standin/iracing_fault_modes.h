// What the iRacing stand-in publishes in its fault-test modes: rows stamped
// with their tick at both ends, so a consumer's copy can be checked for
// tearing, and headers no simulator would publish, to try a consumer's
// bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/iracing_layout.h"

namespace vove::iracing {

// A row long enough that copying it takes a noticeable share of an update
// period, so a copy that overlaps a rewrite is likely within a short test.
inline constexpr std::int32_t stamped_row_length = 1 << 20;

// Writes `tick` into the first and the last four bytes of `row` (at least 8 bytes).
void stamp_row(std::span<std::byte> row, std::int32_t tick) noexcept;

// How many different nonsense headers nonsense_header() makes.
inline constexpr std::int64_t nonsense_header_kinds = 17;

// The `kind`-th distortion of `sane` (0 to nonsense_header_kinds - 1): a
// negative or huge buffer length, slot offset, variable-header offset,
// variable count or session-text offset, a buffer count above four or
// below zero, extreme tick counts, or all at once. The last kind, a
// negative variable count, is one a consumer may refuse outright.
MemoryHeader nonsense_header(const MemoryHeader& sane, std::int64_t kind, std::uint32_t region_size) noexcept;

}  // namespace vove::iracing
