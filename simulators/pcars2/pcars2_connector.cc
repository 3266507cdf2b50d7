#include "simulators/pcars2/pcars2_connector.h"

#include <algorithm>

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::pcars2 {

namespace {

constexpr std::uint32_t smallest_mapping = sequence_number_offset + 4;

}  // namespace

bool copy_consistent(std::span<const std::uint8_t> mapping, std::vector<std::uint8_t>& copy) {
  const std::uint32_t before = read_shared_u32(mapping, sequence_number_offset);
  if (before % 2 != 0) return false;
  copy.resize(mapping.size());
  copy_shared(mapping, copy);
  return read_shared_u32(mapping, sequence_number_offset) == before;
}

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  stopped_ = false;
  last_sequence_.reset();
  attach_failure_ = {};
  if (!mapping_.attach(mapping_name, smallest_mapping)) {
    attach_failure_ = mapping_.failure();
    return false;
  }
  if (copy_consistent(mapping_.bytes(), copy_) && layout_size(coding::decode_u32(copy_.data() + version_offset)) &&
      coding::decode_u32(copy_.data() + game_state_offset) != game_exited) {
    return true;
  }
  mapping_.release();
  return false;
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (!mapping_.is_attached()) return {};
  return poll_until(timeout, [this] { return stopped_ ? FramePayload{} : try_read(); });
}

FramePayload Connector::try_read() {
  // Polled every millisecond: copied only once the number has moved.
  if (last_sequence_ == read_shared_u32(mapping_.bytes(), sequence_number_offset)) return {};
  if (!copy_consistent(mapping_.bytes(), copy_)) return {};
  if (coding::decode_u32(copy_.data() + game_state_offset) == game_exited) {
    stopped_ = true;
    return {};
  }
  const std::uint32_t sequence = coding::decode_u32(copy_.data() + sequence_number_offset);
  if (last_sequence_ == sequence) return {};
  last_sequence_ = sequence;
  NamedObjectsPayloadBuilder builder;
  builder.add(mapping_name, mapping_.size(), copy_);
  return builder.take();
}

}  // namespace vove::pcars2
