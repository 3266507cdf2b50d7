// The recorder's side of the simulators whose pages carry no consistency
// protocol, only an int32 packetId at the start of some pages that
// advances with every update (Assetto Corsa 1, Assetto Corsa EVO): each
// page copied whole at the size its creator made it, a frame taken once a
// counted packetId has moved.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "simulators/named_memory/recorded_mapping.h"
#include "simulators/source.h"

namespace vove {

struct PacketPage {
  std::string_view name;
  bool required = true;  // without it the simulator is not running
  bool counted = true;   // its packetId, at offset 0, marks new data
};

class PacketPagesSource : public Source {
 public:
  PacketPagesSource(SourceId id, std::vector<PacketPage> pages) : id_(id), pages_(std::move(pages)) {}

  // Attaches when every required page exists and accepts() agrees; after
  // disconnect_idle(), only once a counted packetId has moved.
  bool connect(std::chrono::milliseconds timeout) override;
  void disconnect() override;
  // The pages, once a counted packetId moved; empty when none did within
  // `timeout`.
  FramePayload read_frame(std::chrono::milliseconds timeout) override;
  SourceId source_id() const override { return id_; }
  std::optional<std::uint64_t> publication_mark() const override { return last_mark_; }
  void disconnect_idle() override;
  bool has_stopped() const override { return stopped_; }
  platform::Failure attach_failure() const override { return attach_failure_; }

 protected:
  // Whether the attached pages (in the order given, unattached optional
  // ones empty) show the simulator running. May set `refusal` to a reason
  // a user should read (and the recorder prints).
  virtual bool accepts(std::span<const RecordedMapping> pages, platform::Failure& refusal) const = 0;
  // Whether a frame's copies (in the order given; empty for a page not
  // attached) say the simulator has stopped.
  virtual bool says_stopped(std::span<const std::span<const std::uint8_t>> copies) const {
    (void)copies;
    return false;
  }

 private:
  FramePayload try_read();
  std::uint64_t mark_of(std::span<const std::span<const std::uint8_t>> pages) const noexcept;

  SourceId id_;
  std::vector<PacketPage> pages_;
  std::vector<RecordedMapping> mappings_;
  std::optional<std::uint64_t> last_mark_;
  std::optional<std::uint64_t> idle_mark_;
  bool stopped_ = false;
  platform::Failure attach_failure_;
};

}  // namespace vove
