#include "simulators/r3e/r3e_connector.h"

#include <algorithm>
#include <array>

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::r3e {

namespace {

constexpr std::uint32_t smallest_mapping = simulation_time_offset + 8;

// The ticks and the time together: either moving is news.
std::uint64_t simulation_mark(std::span<const std::uint8_t> copy) noexcept {
  return (std::uint64_t{coding::decode_u32(copy.data() + simulation_ticks_offset)} << 32) ^
         coding::decode_u64(copy.data() + simulation_time_offset);
}

}  // namespace

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  last_mark_.reset();
  attach_failure_ = {};
  if (!mapping_.attach(mapping_name, smallest_mapping)) {
    attach_failure_ = mapping_.failure();
    return false;
  }
  const std::span<const std::uint8_t> bytes = mapping_.bytes();
  const auto major = static_cast<std::int32_t>(read_shared_u32(bytes, version_major_offset));
  const auto minor = static_cast<std::int32_t>(read_shared_u32(bytes, version_minor_offset));
  if (layout_size(major, minor)) return true;
  mapping_.release();
  return false;
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (!mapping_.is_attached()) return {};
  return poll_until(timeout, [this] { return try_read(); });
}

FramePayload Connector::try_read() {
  // Polled every millisecond: copied only once the clock has moved.
  std::array<std::uint8_t, simulation_time_offset + 8> clock{};
  copy_shared(mapping_.bytes(), clock);
  if (last_mark_ == simulation_mark(clock)) return {};
  // Straight into the frame: with no protocol, nothing to check a copy
  // aside against.
  NamedObjectsPayloadBuilder builder;
  const std::span<std::uint8_t> copy = builder.add(mapping_name, mapping_.size(), mapping_.size());
  copy_shared(mapping_.bytes(), copy);
  const std::uint64_t mark = simulation_mark(copy);
  if (last_mark_ == mark) return {};
  last_mark_ = mark;
  return builder.take();
}

}  // namespace vove::r3e
