#include "dumptool/frame_progress.h"

namespace vove::dumptool {

namespace {

constexpr std::chrono::seconds delay{1};

}  // namespace

FrameProgress::FrameProgress(std::string_view label, std::size_t total) : label_(label), total_(total) {
  line_.show_after(delay);
}

void FrameProgress::draw(std::size_t done) {
  const std::size_t percent = total_ == 0 ? 100 : done * 100 / total_;
  line_.update(label_ + ": frame " + std::to_string(done) + " of " + std::to_string(total_) + " (" +
               std::to_string(percent) + "%)");
}

}  // namespace vove::dumptool
