// The replay's Assetto Corsa 1 producer: the three "acpmf" pages at their
// recorded sizes, packetIds rising across loops, graphics.status AC_OFF
// left behind (as one more update) for a reader still holding the pages.
#pragma once

#include "simulators/packet_pages/packet_pages_producer.h"

namespace vove::ac1 {

class Emulator final : public PacketPagesProducer {
 public:
  Emulator();
  ~Emulator() override { stop(); }

 protected:
  void finish_object(CreatedObject& target) override;
};

}  // namespace vove::ac1
