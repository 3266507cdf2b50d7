// The recorder's Le Mans Ultimate source: LMU_Data copied whole, by the
// game's protocol where it published its objects: the update event waited
// on, the shared lock taken for the copy and given back at once. Where only
// the data mapping exists (a Linux bridge publishes no event and no lock)
// the mapping is polled and a copy is taken once it changed and held still
// across the copy. The rF2 plugin's buffers, when they were published beside
// it, are recorded in the same frame, each copied by the plugin's protocol.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/platform/platform.h"
#include "formats/lmu_layout.h"
#include "formats/rf2_layout.h"
#include "simulators/lmu/lmu_lock.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::lmu {

class Connector final : public Source {
 public:
  // Attaches when LMU_Data exists, holds the game version and names one
  // (not 0); the event, the lock and the rF2 plugin's buffers are opened
  // when they exist. A mapping smaller than the layout is recorded as it
  // is, and said so once.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  // The data once the game signalled an update (or, without the event, once
  // it changed) and the lock could be taken, all within `timeout`; empty
  // otherwise, and when the game version reads 0 (the game stopped).
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return lmu_source_id; }
  std::optional<std::uint64_t> publication_mark() const override { return mark_; }
  bool has_stopped() const override { return stopped_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  FramePayload signalled_read(std::chrono::milliseconds timeout);
  FramePayload polled_read();
  // The copy as a frame, or none when it says the game stopped.
  FramePayload frame_of(std::span<const std::uint8_t> copy);

  RecordedMapping data_;
  platform::NamedEvent event_;
  SharedLock lock_;
  std::array<RecordedMapping, rf2::buffers.size()> plugin_;
  std::array<std::vector<std::uint8_t>, rf2::buffers.size()> plugin_copies_;
  std::vector<std::uint8_t> copy_;
  std::vector<std::uint8_t> last_;  // polled: the bytes of the last frame
  std::optional<std::uint64_t> mark_;
  bool stopped_ = false;
  platform::Failure attach_failure_;
};

}  // namespace vove::lmu
