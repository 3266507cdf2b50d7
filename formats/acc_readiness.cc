#include "formats/acc_readiness.h"

#include <algorithm>

#include "common/byte_coding.h"
#include "formats/acc_pages.h"

namespace vove::acc {

namespace {

// True when the zero-ended UTF-16 strings at `first` and `second` differ,
// looking only at whole units that lie below `limit`.
bool strings_differ(std::span<const std::uint8_t> bytes, std::size_t first, std::size_t second,
                    std::size_t limit) noexcept {
  const std::size_t later = std::max(first, second);
  for (std::size_t at = 0; later + at + 2 <= limit; at += 2) {
    const std::uint8_t a_low = bytes[first + at], a_high = bytes[first + at + 1];
    const std::uint8_t b_low = bytes[second + at], b_high = bytes[second + at + 1];
    if (a_low != b_low || a_high != b_high) return true;
    if (a_low == 0 && a_high == 0) return false;  // both strings end here
  }
  return false;
}

}  // namespace

bool is_simulator_ready(std::span<const std::uint8_t> graphics) noexcept {
  if (graphics.size() < sim_status_offset + 4) return false;
  if (coding::decode_i32(graphics.data() + sim_status_offset) == 0) return false;
  const std::size_t limit = std::min(graphics.size(), readiness_read_limit);
  return strings_differ(graphics, readiness_first_offset, readiness_second_offset, limit);
}

}  // namespace vove::acc
