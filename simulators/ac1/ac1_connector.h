// The recorder's Assetto Corsa 1 source: the three "acpmf" pages that ACC
// also uses, recorded only when they show AC1's signs alone
// (formats/acpmf_title.h), each whole at its real size.
#pragma once

#include "formats/ac1_layout.h"
#include "simulators/packet_pages/packet_pages_source.h"

namespace vove::ac1 {

class Connector final : public PacketPagesSource {
 public:
  Connector();

 protected:
  // The pages tell AC1, and graphics.status is not AC_OFF.
  bool accepts(std::span<const RecordedMapping> pages, platform::Failure& refusal) const override;
  // graphics.status AC_OFF.
  bool says_stopped(std::span<const std::span<const std::uint8_t>> copies) const override;
};

}  // namespace vove::ac1
