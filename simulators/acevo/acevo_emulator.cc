#include "simulators/acevo/acevo_emulator.h"

#include "formats/acevo_layout.h"

namespace vove::acevo {

Emulator::Emulator()
    : PacketPagesProducer({{physics_name, physics_size, true},
                           {graphics_name, graphics_size, false},
                           {static_name, static_size, false}}) {}

}  // namespace vove::acevo
