// The progress line of a command that works through frames: shown on a
// terminal once the work has taken more than a second.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/progress_line.h"

namespace vove::dumptool {

class FrameProgress {
 public:
  // `label` starts the line ("csv"); `total` is the number of frames.
  FrameProgress(std::string_view label, std::size_t total);

  // `done` frames of the total are finished.
  void update(std::size_t done) {
    if (line_.enabled() && (done & 63) == 0) draw(done);
  }
  void clear() { line_.clear(); }

 private:
  void draw(std::size_t done);

  ProgressLine line_;
  std::string label_;
  std::size_t total_;
};

}  // namespace vove::dumptool
