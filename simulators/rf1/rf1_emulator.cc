#include "simulators/rf1/rf1_emulator.h"

#include <algorithm>

#include "formats/rf1_layout.h"

namespace vove::rf1 {

Emulator::Emulator() : NamedObjectsProducer({{mapping_name, layout_size}}) {}

void Emulator::finish_object(CreatedObject& target) {
  const std::span<std::uint8_t> bytes = target.bytes();
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
}

}  // namespace vove::rf1
