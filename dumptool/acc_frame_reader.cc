#include "dumptool/acc_frame_reader.h"

#include <string>

#include "formats/payload_damage.h"

namespace vove::dumptool {

std::optional<acc::PageBytes> AccFrameReader::read(std::size_t frame) {
  if (!frames_.read_if_intact(frame, payload_)) {
    damage_.damaged_frame(frame, frames_.index().records()[frame].offset, "its compressed data does not inflate");
    return std::nullopt;
  }
  if (!set_.physics_name.empty()) {
    try {
      return acc::pages_of_frame(set_, payload_);
    } catch (const PayloadDamage& damage) {
      damage_.damaged_frame(frame, frames_.index().records()[frame].offset, damage.what());
      return std::nullopt;
    }
  }
  if (payload_.size() != acc::payload_size && !size_noted_) {
    size_noted_ = true;
    damage_.problem("frame " + std::to_string(frame) + " holds " + std::to_string(payload_.size()) +
                    " bytes, not the " + std::to_string(acc::payload_size) +
                    " of an ACC frame; its pages are read as far as they go, fields beyond are left empty");
  }
  return acc::pages_of_payload(payload_);
}

}  // namespace vove::dumptool
