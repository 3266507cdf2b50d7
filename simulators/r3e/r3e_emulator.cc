#include "simulators/r3e/r3e_emulator.h"

#include <algorithm>
#include <cstring>

#include "common/byte_coding.h"
#include "formats/r3e_layout.h"

namespace vove::r3e {

namespace {

constexpr std::size_t clock_end = simulation_time_offset + 8;

}  // namespace

Emulator::Emulator() : NamedObjectsProducer({{mapping_name, largest_layout_size}}) {}

void Emulator::write_object(CreatedObject& target, const NamedObjectView& recorded, bool pass_begins) {
  const std::span<std::uint8_t> bytes = target.bytes();
  if (recorded.name != mapping_name || recorded.bytes.size() < clock_end || bytes.size() < clock_end) {
    copy_plain(target, recorded.bytes);
    return;
  }
  // Everything but the clock first, then the clock once: a reader polling
  // the ticks never sees the recorded ones, which go back at a new pass.
  std::memcpy(bytes.data(), recorded.bytes.data(), simulation_ticks_offset);
  const std::size_t length = std::min(bytes.size(), recorded.bytes.size());
  std::memcpy(bytes.data() + clock_end, recorded.bytes.data() + clock_end, length - clock_end);
  const std::uint32_t ticks = coding::decode_u32(recorded.bytes.data() + simulation_ticks_offset);
  // A new pass goes on from one tick after the last one published; 32-bit
  // arithmetic wraps as the game's counter would.
  if (pass_begins && last_ticks_) tick_shift_ = *last_ticks_ + 1u - ticks;
  const std::uint32_t published = ticks + tick_shift_;
  coding::encode_u32(bytes.data() + simulation_ticks_offset, published);
  const double time = coding::decode_f64(recorded.bytes.data() + simulation_time_offset);
  coding::encode_f64(bytes.data() + simulation_time_offset,
                     time + static_cast<double>(static_cast<std::int32_t>(tick_shift_)) / ticks_per_second);
  last_ticks_ = published;
}

}  // namespace vove::r3e
