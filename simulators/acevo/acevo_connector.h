// The recorder's Assetto Corsa EVO source: its three pages, each whole at
// its real size, a frame once the physics packetId has moved. The graphics
// status field, whose place in EVO's new layout is not known here, is not
// read: a session that ends is told by the packetId standing still.
#pragma once

#include "formats/acevo_layout.h"
#include "simulators/packet_pages/packet_pages_source.h"

namespace vove::acevo {

class Connector final : public PacketPagesSource {
 public:
  Connector();

 protected:
  // The physics page exists and its packetId is not 0 (a page nobody has
  // written yet).
  bool accepts(std::span<const RecordedMapping> pages, platform::Failure& refusal) const override;
};

}  // namespace vove::acevo
