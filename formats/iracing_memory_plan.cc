#include "formats/iracing_memory_plan.h"

#include <algorithm>

namespace vove::iracing {

std::int64_t session_area_for(std::size_t length) noexcept {
  return std::max(live_session_area, align_to_area(static_cast<std::int64_t>(length) + 1));
}

LiveMemoryPlan plan_live_memory(std::int32_t variable_count, std::int64_t session_area,
                                std::int32_t row_length) noexcept {
  LiveMemoryPlan plan;
  plan.variable_count = variable_count;
  plan.variable_header_offset = live_variable_header_offset;
  const std::int64_t headers_end = std::int64_t{live_variable_header_offset} +
                                   std::int64_t{variable_count} * static_cast<std::int64_t>(variable_header_size);
  std::int64_t next = align_to_area(headers_end);
  plan.session_info_offset = static_cast<std::int32_t>(next);
  plan.session_info_capacity = static_cast<std::int32_t>(session_area);
  next = align_to_area(next + session_area);
  plan.buffer_length = row_length;
  for (std::int32_t& offset : plan.buffer_offsets) {
    offset = static_cast<std::int32_t>(next);
    plan.end = next + row_length;
    next = align_to_area(plan.end);
  }
  return plan;
}

void place_parts(const LiveMemoryPlan& plan, MemoryHeader& header) noexcept {
  header.session_info_length = plan.session_info_capacity;
  header.session_info_offset = plan.session_info_offset;
  header.variable_count = plan.variable_count;
  header.variable_header_offset = plan.variable_header_offset;
  header.buffer_count = live_buffer_count;
  header.buffer_length = plan.buffer_length;
  for (std::size_t slot = 0; slot < plan.buffer_offsets.size(); ++slot) {
    header.buffer_slots[slot].buffer_offset = plan.buffer_offsets[slot];
  }
}

}  // namespace vove::iracing
