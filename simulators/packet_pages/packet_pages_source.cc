#include "simulators/packet_pages/packet_pages_source.h"

#include <array>
#include <vector>

#include "formats/named_objects_payload.h"

namespace vove {

namespace {

constexpr std::size_t packet_id_size = 4;

std::uint32_t packet_id(std::span<const std::uint8_t> page) noexcept {
  return page.size() < packet_id_size ? 0 : read_shared_u32(page, 0);
}

}  // namespace

std::uint64_t PacketPagesSource::mark_of(std::span<const std::span<const std::uint8_t>> pages) const noexcept {
  // Each counted packetId in turn: any of them moving changes the mark.
  std::uint64_t mark = 0;
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    if (pages_[i].counted) mark = (mark << 32 | mark >> 32) ^ packet_id(pages[i]);
  }
  return mark;
}

bool PacketPagesSource::connect(std::chrono::milliseconds /*timeout*/) {
  attach_failure_ = {};
  stopped_ = false;
  last_mark_.reset();
  mappings_.resize(pages_.size());
  bool all_required = true;
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    // Every page is tried whatever the others did, so the failure said is
    // the first page's.
    if (!mappings_[i].attach(pages_[i].name, pages_[i].counted ? packet_id_size : 1) && pages_[i].required) {
      all_required = false;
      if (attach_failure_.empty()) attach_failure_ = mappings_[i].failure();
    }
  }
  if (all_required && accepts(mappings_, attach_failure_)) {
    std::vector<std::span<const std::uint8_t>> pages;
    for (const RecordedMapping& mapping : mappings_) pages.push_back(mapping.bytes());
    if (!idle_mark_ || *idle_mark_ != mark_of(pages)) {
      idle_mark_.reset();
      return true;
    }
  }
  disconnect();
  return false;
}

void PacketPagesSource::disconnect() {
  for (RecordedMapping& mapping : mappings_) mapping.release();
}

void PacketPagesSource::disconnect_idle() {
  idle_mark_ = last_mark_;
  disconnect();
}

FramePayload PacketPagesSource::read_frame(std::chrono::milliseconds timeout) {
  if (mappings_.empty() || !mappings_.front().is_attached()) return {};
  return poll_until(timeout, [this] { return try_read(); });
}

FramePayload PacketPagesSource::try_read() {
  std::vector<std::span<const std::uint8_t>> live;
  for (const RecordedMapping& mapping : mappings_) live.push_back(mapping.bytes());
  // Polled every millisecond: copied only once a counter has moved.
  if (last_mark_ == mark_of(live)) return {};
  NamedObjectsPayloadBuilder builder;
  for (const RecordedMapping& mapping : mappings_) {
    if (mapping.is_attached())
      copy_shared(mapping.bytes(), builder.add(mapping.name(), mapping.size(), mapping.size()));
  }
  FramePayload frame = builder.take();
  // With no protocol, the copy's own counters are the frame's mark.
  const std::vector<NamedObjectView> objects = read_named_objects(frame);
  std::vector<std::span<const std::uint8_t>> copies(mappings_.size());
  for (std::size_t i = 0; i < mappings_.size(); ++i) {
    if (const NamedObjectView* object = find_named_object(objects, pages_[i].name)) copies[i] = object->bytes;
  }
  last_mark_ = mark_of(copies);
  stopped_ = says_stopped(copies);
  return frame;
}

}  // namespace vove
