#include "formats/iracing_recording.h"

#include <algorithm>
#include <utility>

#include "formats/dump_file_errors.h"
#include "formats/iracing_layout.h"

namespace vove::iracing {

DamagedFrameError::DamagedFrameError(std::size_t frame, std::uint64_t offset, const std::string& reason)
    : std::runtime_error("frame " + std::to_string(frame) + " (record at byte " + std::to_string(offset) +
                         ") cannot be read: " + reason),
      frame_(frame),
      offset_(offset),
      reason_(reason) {}

void require_iracing_recording(const DumpFrames& frames) {
  if (frames.header().source_id != iracing_source_id) {
    throw NotIracingRecordingError("not an iRacing recording (its source is '" +
                                   source_id_text(frames.header().source_id, SourceIdStyle::printable) + "')");
  }
}

RecordingWalk::RecordingWalk(DumpFrames& frames, std::size_t first, std::size_t end)
    : frames_(frames), position_(first), end_(std::min(end, frames.size())) {
  require_iracing_recording(frames);
  if (position_ > end_) position_ = end_;
  if (position_ > 0) find_session_text_before(position_);
}

Snapshot RecordingWalk::read_snapshot(std::size_t frame) {
  const std::uint64_t offset = frames_.index().records()[frame].offset;
  FramePayload payload;
  try {
    payload = frames_.read(frame);
  } catch (const DumpInputError& error) {
    if (error.kind() != DumpErrorKind::damaged) throw;  // an I/O error is no damaged frame
    throw DamagedFrameError(frame, offset, "its compressed data does not inflate");
  }
  return decode_frame_payload(frame, offset, [&payload] { return parse_snapshot(payload); });
}

// Frames carry the text only when it changed, so the one in force at `frame`
// is the last one carried before it. Looking back costs a read per frame,
// bounded by how long ago the text last changed.
void RecordingWalk::find_session_text_before(std::size_t frame) {
  while (frame > 0) {
    --frame;
    Snapshot snapshot = read_snapshot(frame);
    if (!snapshot.session_info.empty()) {
      session_text_ = std::move(snapshot.session_info);
      session_text_frame_ = frame;
      return;
    }
  }
}

const RecordingFrame* RecordingWalk::next() {
  if (position_ >= end_) return nullptr;
  const std::size_t frame = position_++;  // a damaged frame is passed over
  current_.snapshot = read_snapshot(frame);
  current_.number = frame;
  current_.seconds = frames_.seconds_of(frame);
  current_.tick = newest_tick(current_.snapshot.header);
  if (current_.carries_session_text()) {
    session_text_ = current_.snapshot.session_info;
    session_text_frame_ = frame;
  }
  const auto& headers = current_.snapshot.variable_headers;
  changed_ = !seen_first_ || headers != current_headers_;
  if (changed_) {
    current_headers_ = headers;
    variables_ = VariableTable(current_headers_);
  }
  if (!seen_first_) {
    seen_first_ = true;
    first_headers_ = headers;
    first_variables_ = variables_;
  }
  differs_from_first_ = headers != first_headers_;
  return &current_;
}

}  // namespace vove::iracing
