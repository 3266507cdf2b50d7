// Recordings of the stand-in with known laps, written as dump files, for
// the report tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "formats/dump_writer.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_standin_snapshot.h"
#include "tools/sim_standin/standin_drive.h"

namespace vove::report_test {

// The laps the recordings drive, on a track that fits them (870 m).
inline const std::vector<double> standin_recording_laps{20.0, 18.5, 19.25};

struct StandinRecording {
  std::vector<double> lap_seconds = standin_recording_laps;
  std::int32_t first_tick = 300;  // 5 s into the first lap
  std::int32_t tick_step = 12;    // 60 ticks a second: a frame every 0.2 s
  std::int32_t frames = 400;
  std::uint32_t fps = 5;
  // Carried by the first frame.
  std::string session_text = iracing::standin_session_text(1, standin_track_length_for(standin_recording_laps));
  // Changes each frame before it is written (say, to drop a variable).
  std::function<void(iracing::Snapshot&)> edit;
  // This frame is written as bytes that are no iRacing frame.
  std::int32_t garbage_frame = -1;
};

inline void write_recording(const std::filesystem::path& path, const StandinRecording& r) {
  const StandinLaps laps(r.lap_seconds);
  std::ofstream out(path, std::ios::binary);
  DumpWriter writer(out, r.fps, iracing::iracing_source_id);
  for (std::int32_t frame = 0; frame < r.frames; ++frame) {
    if (frame == r.garbage_frame) {
      writer.append_frame(FramePayload(100, 0x5a));
      continue;
    }
    iracing::Snapshot snapshot =
        iracing::standin_snapshot(r.first_tick + frame * r.tick_step, laps, frame == 0 ? r.session_text : "");
    if (r.edit) r.edit(snapshot);
    writer.append_frame(iracing::serialise_snapshot(snapshot));
  }
}

// Renames variable `name` in every header of `snapshot`, so readers no
// longer find it.
inline void hide_variable(iracing::Snapshot& snapshot, std::string_view name) {
  for (auto& header : snapshot.variable_headers) {
    iracing::VariableInfo info = iracing::decode_variable_header(header);
    if (info.name != name) continue;
    info.name = "Hidden" + info.name;
    header = iracing::encode_variable_header(info);
  }
}

}  // namespace vove::report_test
