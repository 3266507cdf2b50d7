// The recorder's iRacing source: attaches through its own iRacing client and
// turns each new data row, with the header, the variable headers and (when
// it changed, or first in a connection) the session text, into one payload.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "simulators/iracing/iracing_client.h"
#include "formats/iracing_layout.h"
#include "simulators/source.h"

namespace vove::iracing {

class Connector final : public Source {
 public:
  // Attaches and waits for a first new row, which is not recorded: frames
  // start with the next newer one.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  // Empty when no new row came in time, when rows are 0 bytes long, or when
  // the simulator changed the layout under the read so that the frame would
  // not be self-consistent.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return iracing_source_id; }
  // Without the session text, which a frame carries only when it changed.
  FramePayload repeat_of(const FramePayload& last) const override;
  platform::Failure attach_failure() const override;
  // The tick of the row read last. A new connection needs a new row anyway,
  // so the default disconnect_idle() serves.
  std::optional<std::uint64_t> publication_mark() const override { return last_tick_; }

  // The client the source reads through (for checks of what it read).
  const Client& client() const noexcept { return client_; }

 private:
  void fit_row_buffer(std::int32_t buffer_length);
  // Where the client copies a row: null while rows are 0 bytes long, so that
  // a new tick is still noticed without a copy.
  std::uint8_t* row_destination() noexcept { return row_buffer_.empty() ? nullptr : row_buffer_.data(); }

  // Read through this client only, so the attachment lives and dies with
  // the source.
  Client client_;
  std::vector<std::uint8_t> row_buffer_;  // sized to the simulator's row length
  std::int32_t last_session_info_update_ = 0;
  // Reset at every connect so each dump file starts with the session text.
  bool session_text_sent_ = false;
  std::optional<std::uint64_t> last_tick_;
};

}  // namespace vove::iracing
