// The replay's Assetto Corsa EVO producer: the three pages at their
// recorded sizes, the physics packetId rising across loops.
#pragma once

#include "simulators/packet_pages/packet_pages_producer.h"

namespace vove::acevo {

class Emulator final : public PacketPagesProducer {
 public:
  Emulator();
  ~Emulator() override { stop(); }
};

}  // namespace vove::acevo
