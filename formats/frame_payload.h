// The uncompressed byte image of one snapshot, as a connector builds it, a
// dump record holds it and a producer writes it back.
#pragma once

#include <cstdint>
#include <vector>

namespace vove {

using FramePayload = std::vector<std::uint8_t>;

}  // namespace vove
