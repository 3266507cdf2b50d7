#include "tools/sim_standin/iracing_memory_layout.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace iRacing {

namespace {

constexpr std::int64_t standin_mapping_size = 4 * 1024 * 1024;
constexpr std::int64_t first_variable_header = 144;
constexpr std::int64_t session_info_capacity = 128 * 1024;
constexpr std::int64_t area_alignment = 4096;

std::int64_t align_up(std::int64_t value) { return (value + area_alignment - 1) / area_alignment * area_alignment; }

void require(std::span<const std::byte> memory, std::size_t end) {
  if (memory.size() < end) throw std::length_error("write beyond the stand-in's shared memory");
}

}  // namespace

StandinLayout plan_standin_layout(std::int32_t variable_count, std::int32_t row_length) {
  if (variable_count < 0 || row_length <= 0) throw std::length_error("no variables to publish");
  StandinLayout layout;
  layout.variable_count = variable_count;
  layout.variable_header_offset = static_cast<std::int32_t>(first_variable_header);
  const std::int64_t headers_end =
      first_variable_header + std::int64_t{variable_count} * static_cast<std::int64_t>(variable_header_size);
  std::int64_t next = align_up(headers_end);
  layout.session_info_offset = static_cast<std::int32_t>(next);
  layout.session_info_capacity = static_cast<std::int32_t>(session_info_capacity);
  next = align_up(next + session_info_capacity);
  layout.buffer_length = row_length;
  for (std::int32_t& offset : layout.buffer_offsets) {
    if (next + row_length > standin_mapping_size) {
      throw std::length_error("the stand-in's rows do not fit its shared memory");
    }
    offset = static_cast<std::int32_t>(next);
    next = align_up(next + row_length);
  }
  layout.mapping_size = static_cast<std::uint32_t>(standin_mapping_size);
  return layout;
}

MemoryHeader standin_memory_header(const StandinLayout& layout) noexcept {
  MemoryHeader header;
  header.version = standin_header_version;
  header.tick_rate = standin_tick_rate;
  header.session_info_length = layout.session_info_capacity;
  header.session_info_offset = layout.session_info_offset;
  header.variable_count = layout.variable_count;
  header.variable_header_offset = layout.variable_header_offset;
  header.buffer_count = standin_buffer_count;
  header.buffer_length = layout.buffer_length;
  for (std::size_t slot = 0; slot < layout.buffer_offsets.size(); ++slot) {
    header.buffer_slots[slot].buffer_offset = layout.buffer_offsets[slot];
  }
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

}  // namespace iRacing
