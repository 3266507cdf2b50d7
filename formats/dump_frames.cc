#include "formats/dump_frames.h"

#include <cmath>
#include <stdexcept>

#include "formats/input_file.h"

namespace vove {

DumpFrames::DumpFrames(const std::filesystem::path& path) : DumpFrames(open_input_file(path)) {}

DumpFrames::DumpFrames(std::ifstream stream) : stream_(std::move(stream)), index_(DumpIndex::scan(stream_)) {
  stream_.clear();
  stream_.seekg(0);
  reader_ = std::make_unique<DumpReader>(stream_);
}

double DumpFrames::seconds_of(std::size_t frame) const noexcept {
  const std::uint32_t fps = header().fps;
  return fps == 0 ? 0.0 : static_cast<double>(frame) / fps;
}

std::size_t DumpFrames::frame_at(double seconds) const noexcept {
  const std::uint32_t fps = header().fps;
  if (!(seconds > 0.0)) return 0;
  if (fps == 0) return size();                           // every frame stands at time 0
  const double frame = std::ceil(seconds * fps - 1e-9);  // a time read back from text may fall just short
  return frame >= static_cast<double>(size()) ? size() : static_cast<std::size_t>(frame);
}

FramePayload DumpFrames::read(std::size_t frame) {
  FramePayload payload;
  read(frame, payload);
  return payload;
}

void DumpFrames::read(std::size_t frame, FramePayload& payload) {
  if (frame >= size()) throw std::out_of_range("No frame " + std::to_string(frame) + " in the recording");
  if (frame != next_) reader_->seek(index_.records()[frame].offset);
  next_ = frame + 1;
  try {
    reader_->next_frame(payload);
  } catch (...) {
    next_ = size();  // the position is unknown now: seek next time
    throw;
  }
}

bool DumpFrames::read_if_intact(std::size_t frame, FramePayload& payload) {
  try {
    read(frame, payload);
    return true;
  } catch (const DumpInputError& error) {
    if (error.kind() != DumpErrorKind::damaged) throw;
    return false;
  }
}

}  // namespace vove
