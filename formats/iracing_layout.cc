#include "formats/iracing_layout.h"

#include <cstring>

#include "common/byte_coding.h"

namespace vove::iracing {

namespace {

constexpr std::size_t field_count = 10;
constexpr std::size_t padding_offset = 40;

// The i32 fields in layout order; field i lies at byte offset 4 * i.
template <typename Header>
auto fields_of(Header& header) noexcept {
  return std::array{&header.version,
                    &header.status,
                    &header.tick_rate,
                    &header.session_info_update,
                    &header.session_info_length,
                    &header.session_info_offset,
                    &header.variable_count,
                    &header.variable_header_offset,
                    &header.buffer_count,
                    &header.buffer_length};
}

static_assert(field_count * 4 == padding_offset);

}  // namespace

MemoryHeader decode_memory_header(std::span<const std::uint8_t, memory_header_size> bytes) noexcept {
  MemoryHeader header;
  const auto fields = fields_of(header);
  for (std::size_t i = 0; i < field_count; ++i) *fields[i] = coding::decode_i32(bytes.data() + 4 * i);
  std::memcpy(header.padding.data(), bytes.data() + padding_offset, header.padding.size());
  for (int i = 0; i < buffer_slot_count; ++i) {
    const std::uint8_t* slot_bytes = bytes.data() + slot_tick_offset(i);
    BufferSlot& slot = header.buffer_slots[static_cast<std::size_t>(i)];
    slot.tick_count = coding::decode_i32(slot_bytes);
    slot.buffer_offset = coding::decode_i32(slot_bytes + 4);
    std::memcpy(slot.padding.data(), slot_bytes + 8, slot.padding.size());
  }
  return header;
}

void encode_memory_header(const MemoryHeader& header, std::span<std::uint8_t, memory_header_size> bytes) noexcept {
  const auto fields = fields_of(header);
  for (std::size_t i = 0; i < field_count; ++i) coding::encode_i32(bytes.data() + 4 * i, *fields[i]);
  std::memcpy(bytes.data() + padding_offset, header.padding.data(), header.padding.size());
  for (int i = 0; i < buffer_slot_count; ++i) {
    std::uint8_t* slot_bytes = bytes.data() + slot_tick_offset(i);
    const BufferSlot& slot = header.buffer_slots[static_cast<std::size_t>(i)];
    coding::encode_i32(slot_bytes, slot.tick_count);
    coding::encode_i32(slot_bytes + 4, slot.buffer_offset);
    std::memcpy(slot_bytes + 8, slot.padding.data(), slot.padding.size());
  }
}

MemoryHeaderBytes encode_memory_header(const MemoryHeader& header) noexcept {
  MemoryHeaderBytes bytes{};
  encode_memory_header(header, bytes);
  return bytes;
}

int newest_slot(const MemoryHeader& header) noexcept {
  int newest = 0;
  for (int i = 1; i < slots_in_use(header); ++i) {
    const auto& candidate = header.buffer_slots[static_cast<std::size_t>(i)];
    if (candidate.tick_count > header.buffer_slots[static_cast<std::size_t>(newest)].tick_count) newest = i;
  }
  return newest;
}

std::int32_t newest_tick(const MemoryHeader& header) noexcept {
  return header.buffer_slots[static_cast<std::size_t>(newest_slot(header))].tick_count;
}

}  // namespace vove::iracing
