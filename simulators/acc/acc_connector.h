// The recorder's ACC source: attaches read-only to the three ACC pages the
// simulator published and copies them into a frame payload on every read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "simulators/acc/acc_page_mappings.h"
#include "simulators/source.h"

namespace vove::acc {

class Connector final : public Source {
 public:
  // Attaches to the three pages, when all exist, and tests that the
  // simulator runs. Never creates a page and never waits; the timeout is
  // accepted for the interface only. On false nothing is held.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  // The three pages as one 3700-byte payload. The pages carry no change
  // marker, so every call yields a frame, repeated ones included. Empty when
  // not connected.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override;
  platform::Failure attach_failure() const override { return attach_failure_; }
  // Both pages' packetId: the physics one in the high half, the graphics one
  // in the low half, so that either advancing changes the mark.
  std::optional<std::uint64_t> publication_mark() const override { return last_mark_; }
  // Keeps the mark, and connect() refuses pages that still show it.
  void disconnect_idle() override;
  // The pages read last turned out Assetto Corsa 1's.
  bool has_stopped() const override { return handed_over_; }

 private:
  // Whether the pages held, with `graphics` their graphics image, are
  // ACC's; says why not in attach_failure_ when they show both titles.
  bool told_acc(std::span<const std::uint8_t> graphics);

  PageMappings pages_;
  platform::Failure attach_failure_;        // of the first page the last connect() could not get
  std::optional<std::uint64_t> last_mark_;  // of the frame read last
  std::optional<std::uint64_t> idle_mark_;  // where the pages stood still, after disconnect_idle()
  bool handed_over_ = false;
  // Each page's size as created (graphics, physics, static), as of connect().
  std::array<std::optional<std::uint64_t>, 3> sizes_;
};

}  // namespace vove::acc
