// The recorder's RaceRoom source: the "$R3E" mapping, copied whole. The
// game offers no consistency protocol, so a copy may hold a write half
// done; new frames are told by the simulation ticks, which advance with the
// physics.
#pragma once

#include <cstdint>
#include <optional>

#include "formats/r3e_layout.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::r3e {

class Connector final : public Source {
 public:
  // Attaches when the mapping exists and names a layout this build knows.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override { mapping_.release(); }
  // The mapping, once the simulation ticks or time moved; empty when they
  // did not within `timeout`.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return r3e_source_id; }
  std::optional<std::uint64_t> publication_mark() const override { return last_mark_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  FramePayload try_read();

  RecordedMapping mapping_;
  std::optional<std::uint64_t> last_mark_;
  platform::Failure attach_failure_;
};

}  // namespace vove::r3e
