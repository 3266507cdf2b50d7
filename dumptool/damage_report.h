// What a command found wrong with its input while it went on with the rest:
// collected while a progress line may be showing, told at the end, and
// turned into the exit code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "formats/dump_frames.h"
#include "formats/iracing_recording.h"

namespace vove::dumptool {

class DamageReport {
 public:
  // How the end of the report reads: `lines` for work that went on past
  // what it could not read ("(N more such lines not shown)", then how many
  // frames in all), `records` for a listing of what was left out
  // ("(and N more such records)").
  enum class Listing { lines, records };

  // Work on frames before `end`: the damage that stops the index counts
  // only when the work reaches the last readable frame. Told on `out`.
  DamageReport(const DumpFrames& frames, std::size_t end, std::ostream& out);
  // Work that takes the index's damage into account itself.
  explicit DamageReport(std::ostream& out, Listing listing = Listing::lines) : out_(&out), listing_(listing) {}

  // A frame that could not be read was passed over.
  void damaged_frame(std::size_t frame, std::uint64_t offset, const std::string& reason);
  void damaged_frame(const iracing::DamagedFrameError& error);
  // The next frame `walk` can read, each damaged one before it noted and
  // passed over; null at the end of the walk.
  const iracing::RecordingFrame* next_readable(iracing::RecordingWalk& walk);
  // Something else damaged in the input (exit code 2).
  void problem(std::string text);
  // A frame left out, told as `text` says.
  void dropped_frame(std::string text);
  // The end of the file left out, told as `text` says after every other line.
  void dropped_end(std::string text);
  // Worth knowing, but no damage.
  void warn(std::string text);

  std::size_t damaged_frames() const noexcept { return damaged_frames_; }
  bool damaged() const noexcept { return damaged_frames_ > 0 || problems_ > 0 || index_damage_; }

  // Prints what was collected, after whatever standard output holds; the
  // exit code.
  int finish();

 private:
  void keep(std::string text);

  std::ostream* out_;
  Listing listing_ = Listing::lines;
  std::optional<std::string> index_damage_;  // the whole line
  std::size_t damaged_frames_ = 0;
  std::size_t problems_ = 0;
  std::vector<std::string> lines_;
  std::size_t lines_dropped_ = 0;
};

}  // namespace vove::dumptool
