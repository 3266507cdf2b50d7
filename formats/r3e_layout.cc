#include "formats/r3e_layout.h"

namespace vove::r3e {

std::optional<std::uint32_t> layout_size(std::int32_t major, std::int32_t minor) noexcept {
  if (major == 3) {
    switch (minor) {
      case 1: return 42'436;
      case 2: return 43'984;
      case 3: return 43'988;
      case 4:
      case 5: return 43'996;
      default: return std::nullopt;
    }
  }
  if (major == 2 && minor >= 6 && minor <= 16) return 39'320;
  if (major == 1 && minor == 7) return 30'844;
  return std::nullopt;
}

}  // namespace vove::r3e
