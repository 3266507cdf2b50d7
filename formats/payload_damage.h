// The one way a payload decoder says that its bytes are no frame of its
// format: cut short, or declaring what they cannot hold. A reader of a
// recording reports it as a damaged frame; anything else a decoder throws
// (a programming error above all) is no damage and must not be shown as one.
#pragma once

#include <stdexcept>

namespace vove {

class PayloadDamage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vove
