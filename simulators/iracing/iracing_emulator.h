// The replay's iRacing producer: creates the simulator's telemetry mapping
// and data-valid event, and writes each recorded frame into the mapping at
// the offsets its header copy names.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/platform.h"
#include "common/source_id.h"
#include "formats/iracing_layout.h"
#include "simulators/iracing/iracing_frame_plan.h"
#include "simulators/producer.h"

namespace vove::iracing {

class Emulator final : public Producer {
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
  // (the rest of its declared area zeroed, so no older text shows behind
  // it), then the header last, so a reader that sees the new tick finds the
  // new row, and then signals the data-valid event, waking every client
  // that waits on it. A frame any part of
  // which would land outside the mapping is skipped whole, with one console
  // line per kind of problem. A malformed payload throws (see
  // parse_snapshot). Nothing when not started.
  void write_frame(const std::vector<std::uint8_t>& payload) override;
  // Clears the connected bit of the header's status, so a reader that still
  // holds the mapping sees the simulator stop, then unmaps the view and
  // closes the mappings and the event.
  void stop() override;

  // Keeps, from frames before the range, the latest row of each slot and
  // the session text in force, for the first image of every pass.
  bool take_earlier_frame(const std::vector<std::uint8_t>& payload) override;
  // The first frame of the next pass fills the slots it does not write with
  // the rows kept from earlier frames and writes the session text in force.
  // After a restart its tick counts continue above every tick published so
  // far, and session_info_update is raised, so clients re-read the text.
  void begin_pass() override;

  static SourceId source_id() noexcept { return iracing_source_id; }

 private:
  void report_once(FrameProblem problem);

  platform::SharedMemory created_mapping_;
  platform::SharedMemory opened_mapping_;
  platform::MappedView view_;
  platform::NamedEvent data_valid_event_;
  // One console line per kind of problem.
  std::array<bool, 3> reported_{};

  FirstImage first_image_;
  bool pass_begins_ = false;
  // What has been published, so that a restart can continue above it.
  TickContinuation published_;
};

}  // namespace vove::iracing
