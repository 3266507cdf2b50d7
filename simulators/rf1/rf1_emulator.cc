#include "simulators/rf1/rf1_emulator.h"

#include <algorithm>

#include "formats/rf1_layout.h"

namespace vove::rf1 {

std::uint32_t Emulator::smallest_size(std::string_view name) const { return name == mapping_name ? layout_size : 0; }

std::vector<std::string_view> Emulator::standing_names() const { return {mapping_name}; }

void Emulator::finish_object(CreatedObject& target) {
  const std::span<std::uint8_t> bytes = target.bytes();
  std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
}

}  // namespace vove::rf1
