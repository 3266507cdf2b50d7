// Walks an iRacing recording frame by frame: each frame parsed, with its
// time and tick, the session text in force at it (frames carry the text only
// when it changed, so the last one carried is kept), and its variable table.
// Every tool that reads the values of a recording starts here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/dump_frames.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"
#include "formats/payload_damage.h"

namespace vove::iracing {

// A frame of the recording that cannot be read: its record does not inflate
// or its payload is no iRacing frame. Frames before it were handed out.
class DamagedFrameError : public std::runtime_error {
 public:
  DamagedFrameError(std::size_t frame, std::uint64_t offset, const std::string& reason);

  std::size_t frame() const noexcept { return frame_; }
  std::uint64_t offset() const noexcept { return offset_; }  // of the record's sizes
  const std::string& reason() const noexcept { return reason_; }

 private:
  std::size_t frame_;
  std::uint64_t offset_;
  std::string reason_;
};

// Runs `decode` on the payload of frame `frame` (its record's sizes at
// `offset`): PayloadDamage becomes DamagedFrameError; anything else, a
// programming error above all, goes on unchanged and is never reported as
// a damaged frame.
template <typename Decode>
auto decode_frame_payload(std::size_t frame, std::uint64_t offset, Decode&& decode) -> decltype(decode()) {
  try {
    return decode();
  } catch (const PayloadDamage& error) {
    throw DamagedFrameError(frame, offset, error.what());
  }
}

// A recording of another source where one of iRacing is needed: what() is
// "not an iRacing recording (its source is '<id>')".
class NotIracingRecordingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws NotIracingRecordingError, naming the source found, unless `frames`
// holds an iRacing recording.
void require_iracing_recording(const DumpFrames& frames);

struct RecordingFrame {
  std::size_t number = 0;  // zero-based, within the whole recording
  double seconds = 0.0;    // from the start of the recording
  std::int32_t tick = 0;   // of the newest row
  Snapshot snapshot;       // its session_info is what this frame carried, often empty

  bool carries_session_text() const noexcept { return !snapshot.session_info.empty(); }
};

class RecordingWalk {
 public:
  static constexpr std::size_t to_the_end = std::numeric_limits<std::size_t>::max();

  // Walks frames [first, end) of `frames` (end clamped to frames.size()),
  // which must outlive the walk. When `first` is not 0 the frames before it
  // are read backwards until one carries the session text, so that the text
  // is known from the first frame on. Throws as require_iracing_recording,
  // and DamagedFrameError for a damaged frame found while looking back.
  explicit RecordingWalk(DumpFrames& frames, std::size_t first = 0, std::size_t end = to_the_end);

  // Reads the next frame; null after the last. Throws DamagedFrameError for
  // a frame that cannot be read (the walk may go on with the frame after
  // it), std::runtime_error on an I/O error.
  const RecordingFrame* next();

  // The number of the frame next() reads.
  std::size_t position() const noexcept { return position_; }
  std::size_t end() const noexcept { return end_; }

  // The session text in force at the frame last read (before the first
  // next(): just before `first`); empty when no frame so far carried one.
  const std::string& session_text() const noexcept { return session_text_; }
  // The number of the frame that carried it, if any.
  std::optional<std::size_t> session_text_frame() const noexcept { return session_text_frame_; }

  // The variable table of the frame last read (decoded again only when the
  // headers change).
  const VariableTable& variables() const noexcept { return variables_; }
  // Whether the frame last read has variable headers other than the frame
  // read before it (true for the first frame).
  bool variables_changed() const noexcept { return changed_; }
  // Whether the frame last read has variable headers other than the first
  // frame this walk handed out (a recording whose table changed midway).
  bool variables_differ_from_first() const noexcept { return differs_from_first_; }
  const VariableTable& first_variables() const noexcept { return first_variables_; }

 private:
  // Reads and parses one frame, naming it in any error.
  Snapshot read_snapshot(std::size_t frame);
  void find_session_text_before(std::size_t frame);

  DumpFrames& frames_;
  std::size_t position_;
  std::size_t end_;
  RecordingFrame current_;
  std::string session_text_;
  std::optional<std::size_t> session_text_frame_;
  bool seen_first_ = false;
  std::vector<VariableHeader> first_headers_;
  std::vector<VariableHeader> current_headers_;
  VariableTable first_variables_;
  VariableTable variables_;
  bool differs_from_first_ = false;
  bool changed_ = false;
};

}  // namespace vove::iracing
