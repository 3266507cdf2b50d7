#include "simulators/rf2/rf2_connector.h"

#include <algorithm>

#include "common/byte_coding.h"
#include "formats/named_objects_payload.h"

namespace vove::rf2 {

std::uint32_t smallest_buffer_size(const BufferDescription& description) noexcept {
  if (description.name == extended_name) return extended_version_offset + extended_version_size;
  return description.has_hint ? bytes_updated_hint_offset + 4 : version_block_size;
}

namespace {

// The bytes a copy takes: the hint's count after the version block, when
// it is one the buffer can hold; else all of it.
std::size_t bytes_in_use(std::span<const std::uint8_t> buffer, const BufferDescription& description) noexcept {
  if (!description.has_hint) return buffer.size();
  const auto hint = static_cast<std::int32_t>(read_shared_u32(buffer, bytes_updated_hint_offset));
  if (hint <= 0 || static_cast<std::size_t>(hint) > buffer.size() - version_block_size) return buffer.size();
  return version_block_size + static_cast<std::size_t>(hint);
}

}  // namespace

CopyResult copy_buffer(std::span<const std::uint8_t> buffer, const BufferDescription& description,
                       std::vector<std::uint8_t>& copy, int tries) {
  if (!description.versioned) {
    copy.resize(buffer.size());
    copy_shared(buffer, copy);
    return CopyResult::copied;
  }
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) platform::sleep_for(std::chrono::milliseconds{1});
    const std::uint32_t begin = read_shared_u32(buffer, version_begin_offset);
    const std::uint32_t end = read_shared_u32(buffer, version_end_offset);
    if (begin != end) continue;
    copy.resize(bytes_in_use(buffer, description));
    copy_shared(buffer, copy);
    if (read_shared_u32(buffer, version_begin_offset) == begin && read_shared_u32(buffer, version_end_offset) == end) {
      return CopyResult::copied;
    }
  }
  return CopyResult::unsettled;
}

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  attach_failure_ = {};
  stopped_ = false;
  last_mark_.reset();
  bool complete = true;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (mappings_[i].attach(buffers[i].name, smallest_buffer_size(buffers[i])) || !buffers[i].required) continue;
    complete = false;
    if (attach_failure_.empty()) attach_failure_ = mappings_[i].failure();
  }
  if (complete) {
    // Extended comes last as the plugin sets up: its version says the rest
    // is ready, and in which layout.
    const std::size_t extended = buffers.size() - 1;
    std::vector<std::uint8_t>& copy = copies_[extended];
    if (copy_buffer(mappings_[extended].bytes(), buffers[extended], copy, tries_) == CopyResult::copied) {
      const std::optional<std::string> version = plugin_version(copy);
      if (version && is_known_layout(*version)) return true;
    }
  }
  disconnect();
  return false;
}

void Connector::disconnect() {
  for (RecordedMapping& mapping : mappings_) mapping.release();
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (!mappings_.back().is_attached()) return {};
  return poll_until(timeout, [this] { return stopped_ ? FramePayload{} : try_read(); });
}

namespace {

// The versions folded into one mark, so that any buffer's news shows.
class VersionMark {
 public:
  void add(std::uint32_t version) noexcept { mark_ = (mark_ ^ version) * 1099511628211ull; }
  std::uint64_t value() const noexcept { return mark_; }

 private:
  std::uint64_t mark_ = 14695981039346656037ull;
};

}  // namespace

FramePayload Connector::try_read() {
  // A look at the versions first: polled every millisecond, the buffers
  // are copied only once one has moved.
  VersionMark live;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (mappings_[i].is_attached() && buffers[i].versioned) {
      live.add(read_shared_u32(mappings_[i].bytes(), version_end_offset));
    }
  }
  if (last_mark_ == live.value()) return {};
  VersionMark copied;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (!mappings_[i].is_attached()) continue;
    if (copy_buffer(mappings_[i].bytes(), buffers[i], copies_[i], tries_) != CopyResult::copied) return {};
    if (buffers[i].versioned) copied.add(coding::decode_u32(copies_[i].data() + version_end_offset));
  }
  const std::uint64_t mark = copied.value();
  if (!plugin_version(copies_.back())) {
    // Zeroed under a last version bump: the plugin is shutting down.
    stopped_ = true;
    return {};
  }
  if (last_mark_ == mark) return {};
  last_mark_ = mark;
  NamedObjectsPayloadBuilder builder;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (mappings_[i].is_attached()) builder.add(buffers[i].name, mappings_[i].size(), copies_[i]);
  }
  return builder.take();
}

}  // namespace vove::rf2
