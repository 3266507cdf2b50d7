// What the rFactor 1 / Automobilista 1 stand-in writes into
// "$rFactorShared$". No field offset of the struct is known to this
// system, so the stand-in invents none: its content is opaque bytes, a
// counter pattern over the whole struct that changes with every update and
// is never all zero (all zero is how the plugin says no session runs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/rf1_layout.h"

namespace vove::rf1 {

// The bytes of update `update`: byte i is 1 + (update + i) mod 255, so no
// byte is ever zero and every byte changes from one update to the next.
void write_standin_memory(std::span<std::byte> memory, std::uint64_t update) noexcept;

// Fault tests (--stamped-rows): a stand-in convention, no field of the
// struct. `stamp` (u64) goes at both ends of it: its first and last 8 bytes.
inline constexpr std::size_t head_stamp_offset = 0;
inline constexpr std::size_t tail_stamp_offset = layout_size - 8;
void stamp_memory(std::span<std::byte> memory, std::uint64_t stamp) noexcept;

}  // namespace vove::rf1
