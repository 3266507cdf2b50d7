// dumptool cut: a range of a recording as a recording of its own.
#include <algorithm>
#include <bitset>
#include <iostream>
#include <string>
#include <vector>

#include "dumptool/command.h"
#include "dumptool/command_support.h"
#include "dumptool/commands.h"
#include "dumptool/damage_report.h"
#include "dumptool/frame_progress.h"
#include "dumptool/record_copier.h"
#include "formats/dump_writer.h"
#include "formats/iracing_recording.h"
#include "simulators/simulator.h"

namespace vove {

namespace options = boost::program_options;

namespace dumptool {

namespace {

constexpr std::string_view cut_about =
    "Writes the frames from --from up to (not including) --to seconds as a new recording that\n"
    "replays on its own: for iRacing its first frame carries the session text in force at\n"
    "--from, and a buffer slot whose row the new file has not written yet reads tick 0 (never\n"
    "written) until it has. Every other frame is copied byte for byte. OUT is written under a\n"
    "temporary name and appears only when complete.";

// Makes an iRacing frame right for the start of a new file. Returns whether
// it had to change.
class IracingStart {
 public:
  bool adjust(iracing::Snapshot& snapshot, const std::string& text_in_force) {
    bool changed = false;
    if (first_ && snapshot.session_info.empty() && !text_in_force.empty()) {
      snapshot.session_info = text_in_force;
      changed = true;
    }
    first_ = false;
    // The replay writes only the newest row of each frame: until a slot
    // has been the newest once, its row is not in memory, so it must not
    // claim one.
    auto& slots = snapshot.header.buffer_slots;
    written_.set(static_cast<std::size_t>(iracing::newest_slot(snapshot.header)));
    const int in_use = std::clamp(snapshot.header.buffer_count, 0, iracing::buffer_slot_count);
    for (std::size_t slot = 0; slot < static_cast<std::size_t>(in_use); ++slot) {
      if (!written_.test(slot) && slots[slot].tick_count != 0) {
        slots[slot].tick_count = 0;
        changed = true;
      }
    }
    return changed;
  }

 private:
  bool first_ = true;
  std::bitset<iracing::buffer_slot_count> written_;
};

std::size_t cut_iracing(DumpFrames& frames, const FrameRange& range, RecordCopier& copier, DumpWriter& writer,
                        std::ostream& out, DamageReport& damage, FrameProgress& progress) {
  iracing::RecordingWalk walk(frames, range.first, range.end);
  IracingStart start;
  std::size_t written = 0;
  while (out) {
    const iracing::RecordingFrame* frame = damage.next_readable(walk);
    if (frame == nullptr) break;
    iracing::Snapshot snapshot = frame->snapshot;
    if (start.adjust(snapshot, walk.session_text())) {
      writer.append_frame(iracing::serialise_snapshot(snapshot));
    } else {
      copier.copy(frames.index().records()[frame->number], out);
    }
    ++written;
    progress.update(walk.position() - range.first);
  }
  return written;
}

std::size_t cut_other(DumpFrames& frames, const FrameRange& range, RecordCopier& copier, std::ostream& out,
                      DamageReport& damage, FrameProgress& progress) {
  std::size_t written = 0;
  FramePayload payload;
  for (std::size_t frame = range.first; frame < range.end && out; ++frame) {
    const auto& record = frames.index().records()[frame];
    if (!frames.read_if_intact(frame, payload)) {  // only to know it inflates
      damage.damaged_frame(frame, record.offset, "its compressed data does not inflate");
      continue;
    }
    copier.copy(record, out);
    ++written;
    progress.update(frame + 1 - range.first);
  }
  return written;
}

int run_cut(const CommandLine& command_line) {
  const auto& values = command_line.values();
  auto frames = open_recording(command_line.file());
  const FrameRange range = select_frames(*frames, values);
  auto output = create_output(command_line.file(), values["output"].as<std::string>(), values.count("force") != 0);
  std::ostream& out = output->stream();
  RecordCopier copier(command_line.file());
  DamageReport damage(*frames, range.end, std::cerr);
  FrameProgress progress("cut", range.end - range.first);

  std::size_t written = 0;
  try {
    DumpWriter writer(out, frames->header().fps, frames->header().source_id);
    if (payload_codec(frames->header().source_id) == PayloadCodec::iracing_snapshot) {
      written = cut_iracing(*frames, range, copier, writer, out, damage, progress);
    } else {
      written = cut_other(*frames, range, copier, out, damage, progress);
    }
  } catch (const DumpWriteError&) {
    // The commit reports the failed write with the system's reason.
  }
  progress.clear();
  if (written == 0 && out) throw std::runtime_error("no frame of the range could be read, so nothing was written");
  commit_output(*output);
  std::cout << "Wrote " << written << " frames (" << seconds_text(frames->seconds_of(range.first)) << " to "
            << seconds_text(frames->seconds_of(range.end)) << " s) to " << output->destination().string() << std::endl;
  return damage.finish();
}

}  // namespace

}  // namespace dumptool

int run_cut_command(const std::vector<std::string>& arguments) {
  using namespace dumptool;
  CommandLine command_line("cut FILE --from S --to S -o OUT [--force]", cut_about);
  command_line.add_options()("from", options::value<double>(), "first second of the range (default: 0)")(
      "to", options::value<double>(), "end of the range, exclusive (default: the end)")(
      "output,o", options::value<std::string>()->required(), "the new recording")("force",
                                                                                  "replace OUT when it exists");
  if (const auto code = command_line.parse(arguments)) return *code;
  return run_guarded([&] { return run_cut(command_line); });
}

}  // namespace vove
