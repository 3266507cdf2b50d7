// The replay's iRacing producer: creates the simulator's telemetry mapping
// and data-valid event, and writes each recorded frame into the mapping at
// the offsets its header copy names.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/platform/platform.h"
#include "common/source_id.h"
#include "emulator/emulator.h"
#include "formats/iracing_layout.h"

namespace iRacing {

class Emulator final : public ::Emulator {
 public:
  Emulator() noexcept = default;
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;
  ~Emulator() override { stop(); }

  // Creates (or opens) the 1 GiB mapping, opens it again for writing, maps
  // it writable and creates the event. Throws std::runtime_error and holds
  // nothing on failure; does nothing when started already.
  void start() override;
  // Writes the newest slot's row, the variable headers and the session text
  // (terminated when the text's area has room), then the header last, so a
  // reader that sees the new tick finds the new row. A frame any part of
  // which would land outside the mapping is skipped whole, with one console
  // line per kind of problem. A malformed payload throws (see
  // parse_snapshot). Nothing when not started.
  void write_frame(const std::vector<std::uint8_t>& payload) override;
  // Unmaps the view, then closes the mappings and the event. The last header
  // written stays in the mapping for readers that still hold it.
  void stop() override;

  static SourceId source_id() noexcept { return iracing_source_id; }

 private:
  enum Problem { row_outside, variable_headers_outside, session_text_outside, problem_count };
  void report_once(Problem problem);

  platform::SharedMemory created_mapping_;
  platform::SharedMemory opened_mapping_;
  platform::MappedView view_;
  platform::NamedEvent data_valid_event_;
  std::array<bool, problem_count> reported_{};
};

}  // namespace iRacing
