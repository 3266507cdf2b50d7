#include "simulators/ac1/ac1_emulator.h"

#include "common/byte_coding.h"
#include "formats/ac1_layout.h"

namespace vove::ac1 {

Emulator::Emulator()
    : PacketPagesProducer({{graphics_name, largest_graphics_size, true},
                           {physics_name, largest_physics_size, true},
                           {static_name, largest_static_size, false}}) {}

void Emulator::finish_object(CreatedObject& target) {
  const std::span<std::uint8_t> bytes = target.bytes();
  if (target.name == graphics_name && bytes.size() >= status_offset + 4) {
    coding::encode_i32(bytes.data() + status_offset, status_off);
    // An update of its own, so that a reader watching packetId sees it.
    coding::encode_u32(bytes.data() + packet_id_offset, coding::decode_u32(bytes.data() + packet_id_offset) + 1u);
  }
}

}  // namespace vove::ac1
