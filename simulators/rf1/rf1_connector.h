// The recorder's rFactor 1 / Automobilista 1 source: "$rFactorShared$",
// copied whole at the size the plugin made it. The plugin offers no
// consistency protocol and no field offset is known to this system, so a
// copy may hold a write half done, and new data is told only by the bytes:
// a frame whenever the copy differs from the last one recorded. The plugin
// zeroes the struct at session start, session end and shutdown, so an
// all-zero mapping is no running session.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "formats/rf1_layout.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::rf1 {

class Connector final : public Source {
 public:
  // Attaches, read-only, when the mapping exists and is not all zero (and,
  // after disconnect_idle(), once it no longer holds what it held then).
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override { mapping_.release(); }
  // The mapping, once its bytes differ from the last frame's; empty when
  // they did not within `timeout`, or when the mapping was zeroed.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return rf1_source_id; }
  // A hash of the bytes last recorded.
  std::optional<std::uint64_t> publication_mark() const override { return last_mark_; }
  void disconnect_idle() override;
  // The mapping was found all zero: the session ended or the game shut down.
  bool has_stopped() const override { return stopped_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  FramePayload try_read();

  RecordedMapping mapping_;
  std::vector<std::uint8_t> copy_;  // the latest copy
  std::vector<std::uint8_t> last_;  // the bytes of the last frame
  std::optional<std::uint64_t> last_mark_;
  std::optional<std::uint64_t> idle_mark_;  // what stood still, after disconnect_idle()
  bool stopped_ = false;
  platform::Failure attach_failure_;
};

}  // namespace vove::rf1
