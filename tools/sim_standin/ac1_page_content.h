// What the Assetto Corsa 1 and EVO stand-ins write: the ACC stand-in's
// session (tools/sim_standin/acc_page_content.h), laid out as each title
// lays out its pages. AC1 shares ACC's fields up to each of its pages'
// ends, except the graphics page from offset 252, where AC1 has the
// player's world position and the fields ACC moved behind its 60 cars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vove::ac1 {

// The sizes the stand-in publishes: the fullest AC1 layout of each page
// (physics through tyreTemp, graphics through windDirection, static
// through PitWindowEnd).
inline constexpr std::uint32_t standin_physics_size = 712;
inline constexpr std::uint32_t standin_graphics_size = 296;
inline constexpr std::uint32_t standin_static_size = 684;

// AC1's graphics page from an ACC graphics page of the same moment
// (`acc_graphics` holds the whole ACC image, `graphics` at least 296 bytes).
void graphics_from_acc(std::span<const std::byte> acc_graphics, std::span<std::byte> graphics) noexcept;

}  // namespace vove::ac1
