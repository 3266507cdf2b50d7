#include "dumptool/damage_report.h"

#include <iostream>

#include "dumptool/command.h"

namespace vove::dumptool {

namespace {

// Enough to see the pattern; a file damaged throughout would fill a screen.
constexpr std::size_t kept_lines = 20;

}  // namespace

DamageReport::DamageReport(const DumpFrames& frames, std::size_t end, std::ostream& out) : out_(&out) {
  const auto& damage = frames.index().damage();
  if (damage && end >= frames.size()) {
    index_damage_ = "Error: the file is damaged from byte " + std::to_string(damage->offset) + " on (frame " +
                    std::to_string(damage->frame) + "): " + damage->reason + "; nothing after it can be read";
  }
}

void DamageReport::keep(std::string text) {
  if (lines_.size() < kept_lines) {
    lines_.push_back(std::move(text));
  } else {
    ++lines_dropped_;
  }
}

void DamageReport::damaged_frame(std::size_t frame, std::uint64_t offset, const std::string& reason) {
  ++damaged_frames_;
  keep("Error: frame " + std::to_string(frame) + " (record at byte " + std::to_string(offset) +
       ") cannot be read, it was skipped: " + reason);
}

void DamageReport::damaged_frame(const iracing::DamagedFrameError& error) {
  ++damaged_frames_;
  keep("Error: " + std::string(error.what()) + "; it was skipped");
}

const iracing::RecordingFrame* DamageReport::next_readable(iracing::RecordingWalk& walk) {
  for (;;) {
    try {
      return walk.next();
    } catch (const iracing::DamagedFrameError& error) {
      damaged_frame(error);  // the walk goes on with the frame after it
    }
  }
}

void DamageReport::problem(std::string text) {
  ++problems_;
  keep("Error: " + text);
}

void DamageReport::dropped_frame(std::string text) {
  ++damaged_frames_;
  keep(std::move(text));
}

void DamageReport::dropped_end(std::string text) { index_damage_ = std::move(text); }

void DamageReport::warn(std::string text) { keep("Warning: " + text); }

int DamageReport::finish() {
  std::cout.flush();
  std::ostream& out = *out_;
  for (const auto& line : lines_) out << line << '\n';
  if (listing_ == Listing::records) {
    if (lines_dropped_ > 0) out << "(and " << lines_dropped_ << " more such records)\n";
  } else {
    if (lines_dropped_ > 0) out << "(" << lines_dropped_ << " more such lines not shown)\n";
    if (damaged_frames_ > 1) out << damaged_frames_ << " frames could not be read in all\n";
  }
  if (index_damage_) out << *index_damage_ << '\n';
  out.flush();
  return damaged() ? exit_damaged_input : exit_success;
}

}  // namespace vove::dumptool
