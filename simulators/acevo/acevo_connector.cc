#include "simulators/acevo/acevo_connector.h"

namespace vove::acevo {

// Physics first: it is the page the recording needs and the one counted.
Connector::Connector()
    : PacketPagesSource(acevo_source_id,
                        {{physics_name, true, true}, {graphics_name, false, false}, {static_name, false, false}}) {}

bool Connector::accepts(std::span<const RecordedMapping> pages, platform::Failure& /*refusal*/) const {
  const std::span<const std::uint8_t> physics = pages.front().bytes();
  return physics.size() >= 4 && read_shared_u32(physics, 0) != 0;
}

}  // namespace vove::acevo
