// Recordings for the .ibt tests, built from the stand-in's variable table
// and rows (a few hundred variables of every type, arrays among them),
// without shared memory or timing.
#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/dump_writer.h"
#include "formats/iracing_snapshot.h"
#include "formats/iracing_variable_table.h"
#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_variables.h"

namespace vove::ibt_test {

struct Recording {
  std::vector<iracing::Snapshot> frames;  // session_info as each frame carries it
  std::string last_session_text;
};

// The stand-in's variable headers, as its own encoder writes them.
inline std::vector<iracing::VariableHeader> standin_variable_headers() {
  const auto& variables = iracing::standin_variables();
  std::vector<std::byte> bytes(variables.size() * iracing::variable_header_size);
  iracing::encode_variable_headers(bytes, variables);
  std::vector<iracing::VariableHeader> headers(variables.size());
  for (std::size_t i = 0; i < headers.size(); ++i) {
    std::memcpy(headers[i].bytes.data(), bytes.data() + i * iracing::variable_header_size,
                iracing::variable_header_size);
  }
  return headers;
}

// `count` frames recorded at `fps` from the stand-in running at 60 ticks a
// second: rows rotate through three slots, the session text comes with
// frame 0 and again, rewritten, with each frame of `text_changes`.
inline Recording standin_recording(std::size_t count, int fps, std::vector<std::size_t> text_changes = {}) {
  const auto& variables = iracing::standin_variables();
  const std::int32_t row_length = iracing::standin_row_length(variables);
  const auto layout = iracing::plan_standin_layout(static_cast<std::int32_t>(variables.size()), row_length);
  const std::vector<iracing::VariableHeader> headers = standin_variable_headers();

  Recording recording;
  iracing::MemoryHeader header = iracing::standin_memory_header(layout);
  header.status = iracing::status_connected;
  header.session_info_update = 1;
  for (std::size_t k = 0; k < count; ++k) {
    const std::int32_t tick = 1 + static_cast<std::int32_t>(k) * (60 / fps);
    iracing::Snapshot frame;
    const bool text_changes_here = std::ranges::find(text_changes, k) != text_changes.end();
    if (text_changes_here) ++header.session_info_update;
    header.buffer_slots[k % 3].tick_count = tick;
    frame.header = header;
    frame.variable_headers = headers;
    if (k == 0 || text_changes_here) {
      frame.session_info = iracing::standin_session_text(header.session_info_update);
      recording.last_session_text = frame.session_info;
    }
    std::vector<std::byte> row(static_cast<std::size_t>(row_length));
    iracing::fill_standin_row(row, variables, tick, 60.0);
    frame.row.resize(row.size());
    std::memcpy(frame.row.data(), row.data(), row.size());
    recording.frames.push_back(std::move(frame));
  }
  return recording;
}

// The value of variable `name` (its first element) in a frame's row.
inline double value_of(const iracing::Snapshot& frame, std::string_view name) {
  const iracing::VariableTable table(frame.variable_headers);
  return iracing::read_value(frame.row, *table.find(name), 0);
}

inline void write_recording(const std::filesystem::path& path, int fps, const std::vector<iracing::Snapshot>& frames) {
  std::ofstream out(path, std::ios::binary);
  DumpWriter writer(out, static_cast<std::uint32_t>(fps), iracing::iracing_source_id);
  for (const auto& frame : frames) writer.append_frame(iracing::serialise_snapshot(frame));
}

}  // namespace vove::ibt_test
