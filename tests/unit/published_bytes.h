// Fields read from published bytes at the offsets a simulator's layout
// gives them, for the stand-in's tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_coding.h"

namespace vove::published {

inline std::int32_t i32_at(std::span<const std::byte> b, std::size_t offset) {
  return coding::decode_i32(b.data() + offset);
}
inline std::uint32_t u32_at(std::span<const std::byte> b, std::size_t offset) {
  return coding::decode_u32(b.data() + offset);
}
inline std::uint64_t u64_at(std::span<const std::byte> b, std::size_t offset) {
  return coding::decode_u64(b.data() + offset);
}
inline float f32_at(std::span<const std::byte> b, std::size_t offset) { return coding::decode_f32(b.data() + offset); }

}  // namespace vove::published
