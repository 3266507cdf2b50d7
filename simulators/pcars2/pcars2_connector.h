// The recorder's source for Automobilista 2 and Project CARS 2 and 3: the
// "$pcars2$" mapping, copied whole by the game's sequence protocol (the
// number even, and unchanged across the copy).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "formats/pcars2_layout.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::pcars2 {

// Copies `mapping` whole into `copy` when its sequence number is even and
// the same after the copy; false when a write was under way.
bool copy_consistent(std::span<const std::uint8_t> mapping, std::vector<std::uint8_t>& copy);

class Connector final : public Source {
 public:
  // Attaches when the mapping exists, holds the sequence number, names a
  // layout this build knows and the game has not exited.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override { mapping_.release(); }
  // The mapping, once its sequence number moved on; empty when it did not
  // within `timeout` (or stayed odd), or when the game exited.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return pcars2_source_id; }
  std::optional<std::uint64_t> publication_mark() const override { return last_sequence_; }
  bool has_stopped() const override { return stopped_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  FramePayload try_read();

  RecordedMapping mapping_;
  std::vector<std::uint8_t> copy_;
  std::optional<std::uint64_t> last_sequence_;
  bool stopped_ = false;
  platform::Failure attach_failure_;
};

}  // namespace vove::pcars2
