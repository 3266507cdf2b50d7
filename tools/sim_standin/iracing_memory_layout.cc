#include "tools/sim_standin/iracing_memory_layout.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vove::iracing {

namespace {

constexpr std::int64_t standin_mapping_size = 4 * 1024 * 1024;

void require(std::span<const std::byte> memory, std::size_t end) {
  if (memory.size() < end) throw std::length_error("write beyond the stand-in's shared memory");
}

}  // namespace

StandinLayout plan_standin_layout(std::int32_t variable_count, std::int32_t row_length) {
  if (variable_count < 0 || row_length <= 0) throw std::length_error("no variables to publish");
  StandinLayout layout;
  static_cast<LiveMemoryPlan&>(layout) = plan_live_memory(variable_count, live_session_area, row_length);
  if (layout.end > standin_mapping_size) throw std::length_error("the stand-in's rows do not fit its shared memory");
  layout.mapping_size = static_cast<std::uint32_t>(standin_mapping_size);
  return layout;
}

MemoryHeader standin_memory_header(const StandinLayout& layout) noexcept {
  MemoryHeader header;
  header.version = standin_header_version;
  header.tick_rate = standin_tick_rate;
  place_parts(layout, header);
  return header;
}

void write_memory_header(std::span<std::byte> memory, const MemoryHeader& header) {
  require(memory, memory_header_size);
  const MemoryHeaderBytes bytes = encode_memory_header(header);
  std::memcpy(memory.data(), bytes.data(), bytes.size());
}

void write_session_text(std::span<std::byte> memory, const StandinLayout& layout, std::string_view text) {
  const std::size_t capacity = static_cast<std::size_t>(layout.session_info_capacity);
  const std::size_t offset = static_cast<std::size_t>(layout.session_info_offset);
  if (capacity == 0) return;
  require(memory, offset + capacity);
  const std::size_t length = std::min(text.size(), capacity - 1);
  std::memcpy(memory.data() + offset, text.data(), length);
  memory[offset + length] = std::byte{0};
}

std::span<std::byte> row_of_slot(std::span<std::byte> memory, const StandinLayout& layout, std::size_t slot) {
  const std::size_t offset = static_cast<std::size_t>(layout.buffer_offsets.at(slot));
  const std::size_t length = static_cast<std::size_t>(layout.buffer_length);
  require(memory, offset + length);
  return memory.subspan(offset, length);
}

}  // namespace vove::iracing
