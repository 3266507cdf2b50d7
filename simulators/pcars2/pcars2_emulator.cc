#include "simulators/pcars2/pcars2_emulator.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/byte_coding.h"
#include "formats/pcars2_layout.h"

namespace vove::pcars2 {

namespace {

constexpr std::size_t sequence_end = sequence_number_offset + 4;

// `change` runs while the sequence number is odd.
template <typename Change>
void under_sequence(std::span<std::uint8_t> target, std::uint32_t& sequence, Change change) {
  coding::encode_u32(target.data() + sequence_number_offset, ++sequence);
  std::atomic_thread_fence(std::memory_order_release);
  change();
  std::atomic_thread_fence(std::memory_order_release);
  coding::encode_u32(target.data() + sequence_number_offset, ++sequence);
}

}  // namespace

Emulator::Emulator() : NamedObjectsProducer({{mapping_name, largest_layout_size}}) {}

void Emulator::write_object(CreatedObject& target, const NamedObjectView& recorded, bool /*pass_begins*/) {
  const std::span<std::uint8_t> bytes = target.bytes();
  if (recorded.name != mapping_name || bytes.size() < sequence_end) {
    copy_plain(target, recorded.bytes);
    return;
  }
  // Everything but the sequence number, which is the replay's own.
  under_sequence(bytes, sequence_, [&] {
    const std::size_t length = std::min(bytes.size(), recorded.bytes.size());
    const std::size_t head = std::min(length, sequence_number_offset);
    std::memcpy(bytes.data(), recorded.bytes.data(), head);
    if (length > sequence_end) {
      std::memcpy(bytes.data() + sequence_end, recorded.bytes.data() + sequence_end, length - sequence_end);
    }
  });
}

void Emulator::finish_object(CreatedObject& target) {
  const std::span<std::uint8_t> bytes = target.bytes();
  if (target.name != mapping_name || bytes.size() < sequence_end) return;
  under_sequence(bytes, sequence_, [&] { coding::encode_u32(bytes.data() + game_state_offset, game_exited); });
}

}  // namespace vove::pcars2
