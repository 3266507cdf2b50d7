// The recorder's rFactor 2 source: the plugin's output buffers, each copied
// by the plugin's protocol (the version block equal on both sides of the
// copy) and only as far as the buffer says it is in use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/rf2_layout.h"
#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove::rf2 {

// The smallest mapping of `description` that holds its own header fields;
// a smaller one is not attached.
std::uint32_t smallest_buffer_size(const BufferDescription& description) noexcept;

// One consistent copy of a buffer, or why there is none.
enum class CopyResult { copied, unsettled };

// Copies `buffer` into `copy` by the version protocol: Begin equal to End
// before and after the copy, tried `tries` times a millisecond apart; only
// the bytes mBytesUpdatedHint counts where the buffer has it. A buffer
// without a version block in use is copied as it is.
CopyResult copy_buffer(std::span<const std::uint8_t> buffer, const BufferDescription& description,
                       std::vector<std::uint8_t>& copy, int tries = 10);

class Connector final : public Source {
 public:
  // `tries` per buffer and frame before a buffer counts as unsettled.
  explicit Connector(int tries = 10) noexcept : tries_(tries) {}
  // Attaches when the required buffers exist and Extended names a layout
  // this build knows; the others are recorded when the plugin made them.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  // Every buffer held, once any versioned one has changed; empty when
  // nothing changed within `timeout`, a buffer never settled, or the plugin
  // zeroed its buffers on the way out.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return rf2_source_id; }
  std::optional<std::uint64_t> publication_mark() const override { return last_mark_; }
  bool has_stopped() const override { return stopped_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 private:
  FramePayload try_read();

  std::array<RecordedMapping, buffers.size()> mappings_;
  std::array<std::vector<std::uint8_t>, buffers.size()> copies_;
  int tries_;
  std::optional<std::uint64_t> last_mark_;
  bool stopped_ = false;
  platform::Failure attach_failure_;
};

}  // namespace vove::rf2
