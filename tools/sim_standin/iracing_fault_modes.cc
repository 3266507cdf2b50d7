#include "tools/sim_standin/iracing_fault_modes.h"

#include <limits>

#include "common/byte_coding.h"

namespace vove::iracing {

namespace {

constexpr std::int32_t huge = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();

}  // namespace

void stamp_row(std::span<std::byte> row, std::int32_t tick) noexcept {
  coding::encode_i32(row.data(), tick);
  coding::encode_i32(row.data() + row.size() - 4, tick);
}

MemoryHeader nonsense_header(const MemoryHeader& sane, std::int64_t kind, std::uint32_t region_size) noexcept {
  MemoryHeader h = sane;
  const auto end_of_region = static_cast<std::int32_t>(region_size);
  switch (kind) {
    case 0: h.buffer_length = huge; break;
    case 1: h.buffer_length = -1; break;
    case 2: h.buffer_length = lowest; break;
    case 3:
      for (auto& slot : h.buffer_slots) slot.buffer_offset = -4096;
      break;
    case 4:
      for (auto& slot : h.buffer_slots) slot.buffer_offset = huge - 16;
      break;
    case 5:
      for (auto& slot : h.buffer_slots) slot.buffer_offset = end_of_region - 8;
      break;
    case 6: h.buffer_count = 1000; break;
    case 7: h.buffer_count = -5; break;
    case 8: h.variable_header_offset = -144; break;
    case 9: h.variable_header_offset = huge - 100; break;
    case 10: h.variable_count = huge; break;
    case 11: h.variable_count = 100000; break;
    case 12: h.session_info_offset = -1; break;
    case 13: h.session_info_offset = huge; break;
    case 14: h.session_info_offset = end_of_region - 1; break;
    case 15:
      h.buffer_length = huge;
      h.buffer_count = huge;
      h.variable_header_offset = lowest;
      h.session_info_offset = lowest;
      for (auto& slot : h.buffer_slots) slot = {huge, huge, {}};
      break;
    default: h.variable_count = -1; break;
  }
  return h;
}

}  // namespace vove::iracing
