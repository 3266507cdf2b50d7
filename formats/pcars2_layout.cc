#include "formats/pcars2_layout.h"

namespace vove::pcars2 {

std::optional<std::uint32_t> layout_size(std::uint32_t version) noexcept {
  switch (version) {
    case 9: return 20'576;
    case 13: return 20'692;
    case 14: return 20'700;
    default: return std::nullopt;
  }
}

}  // namespace vove::pcars2
