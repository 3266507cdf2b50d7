// Reads the frames of a recording of ACC or its kin one by one for the commands that
// look into its pages: a frame that does not inflate is noted as damage and
// passed over, a payload of another size than an ACC frame's is read as far
// as it goes and noted once.
#pragma once

#include <cstddef>
#include <optional>

#include "dumptool/damage_report.h"
#include "formats/ac_field_sets.h"
#include "formats/dump_frames.h"

namespace vove::dumptool {

class AccFrameReader {
 public:
  AccFrameReader(DumpFrames& frames, const acc::FieldSet& set, DamageReport& damage)
      : frames_(frames), set_(set), damage_(damage) {}

  // The pages of frame `frame` (< frames.size()), valid until the next
  // read; nothing when the frame cannot be read.
  std::optional<acc::PageBytes> read(std::size_t frame);

 private:
  DumpFrames& frames_;
  const acc::FieldSet& set_;
  DamageReport& damage_;
  FramePayload payload_;
  bool size_noted_ = false;
};

}  // namespace vove::dumptool
