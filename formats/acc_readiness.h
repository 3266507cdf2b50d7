// Whether the ACC graphics page shows a running simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vove::acc {

// Two zero-ended UTF-16 strings of the graphics page; they differ while the
// simulator is running and are equal (both empty) in a page nobody wrote.
inline constexpr std::size_t readiness_first_offset = 200;
inline constexpr std::size_t readiness_second_offset = 266;
// The comparison never reads past this many bytes of the graphics page.
inline constexpr std::size_t readiness_read_limit = 756;

// True when sim_status is not 0 and the two readiness strings differ.
// Reads only the first 756 bytes of `graphics` (fewer when it is shorter);
// strings that are equal up to that point count as equal.
bool is_simulator_ready(std::span<const std::uint8_t> graphics) noexcept;

}  // namespace vove::acc
