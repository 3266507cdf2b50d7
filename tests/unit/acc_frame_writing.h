// Values written into a recorded ACC frame at the offsets of the
// simulator's published layout, for tests that build frames by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_coding.h"
#include "dump_test_support.h"

namespace vove::acc_test {

using dump_test::Bytes;

// Where each page starts in a recorded frame (README, "The dump file").
inline constexpr std::size_t graphics_at = 0;
inline constexpr std::size_t physics_at = 1700;
inline constexpr std::size_t static_at = 2700;

inline void put_i32(Bytes& b, std::size_t at, std::int32_t v) { coding::encode_i32(b.data() + at, v); }
inline void put_f32(Bytes& b, std::size_t at, double v) { coding::encode_f32(b.data() + at, static_cast<float>(v)); }
inline void put_utf16(Bytes& b, std::size_t at, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    b[at + 2 * i] = static_cast<std::uint8_t>(text[i] & 0xff);
    b[at + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
}

}  // namespace vove::acc_test
