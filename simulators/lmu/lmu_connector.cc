#include "simulators/lmu/lmu_connector.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "formats/named_objects_payload.h"
#include "simulators/rf2/rf2_connector.h"

namespace vove::lmu {

namespace {

// Enough to hold the game version, without which nothing says it runs.
constexpr std::uint32_t smallest_data = game_version_offset + 4;
// Tries, a millisecond apart, before a plugin buffer that does not settle
// is left out of the frame: the game's data must not wait long for it.
constexpr int plugin_tries = 3;

}  // namespace

bool Connector::connect(std::chrono::milliseconds /*timeout*/) {
  disconnect();
  attach_failure_ = {};
  stopped_ = false;
  mark_.reset();
  if (!data_.attach(data_name, smallest_data)) {
    attach_failure_ = data_.failure();
    return false;
  }
  if (read_shared_u32(data_.bytes(), game_version_offset) == 0) {
    data_.release();
    return false;
  }
  event_ = platform::NamedEvent::open_existing(data_event_name);
  lock_.open_existing();
  for (std::size_t i = 0; i < rf2::buffers.size(); ++i) {
    plugin_[i].attach(rf2::buffers[i].name, rf2::smallest_buffer_size(rf2::buffers[i]));
  }
  if (data_.size() < data_size) {
    std::cout << data_name << " is " << data_.size() << " bytes, smaller than the layout's " << data_size
              << ": recorded at that size" << std::endl;
  }
  return true;
}

void Connector::disconnect() {
  for (RecordedMapping& buffer : plugin_) buffer.release();
  lock_.release();
  event_.close();
  data_.release();
  last_.clear();
}

FramePayload Connector::read_frame(std::chrono::milliseconds timeout) {
  if (!data_.is_attached() || stopped_) return {};
  if (event_) return signalled_read(timeout);
  return poll_until(timeout, [this] { return stopped_ ? FramePayload{} : polled_read(); });
}

FramePayload Connector::signalled_read(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!event_.wait(timeout)) return {};
  copy_.resize(data_.size());
  {
    // A lock held past the deadline costs this frame, not the recording.
    const LockHold hold(lock_, deadline);
    if (lock_.is_open() && !hold.held()) return {};
    copy_shared(data_.bytes(), copy_);
  }
  return frame_of(copy_);
}

FramePayload Connector::polled_read() {
  const std::span<const std::uint8_t> shared = data_.bytes();
  // Polled every millisecond: copied only once something changed, and kept
  // only when it still matches the mapping after the copy, so a write under
  // way is turned away as far as a plain look can tell.
  std::atomic_thread_fence(std::memory_order_acquire);
  if (last_.size() == shared.size() && std::memcmp(last_.data(), shared.data(), shared.size()) == 0) return {};
  copy_.resize(shared.size());
  copy_shared(shared, copy_);
  if (std::memcmp(copy_.data(), shared.data(), shared.size()) != 0) return {};
  FramePayload frame = frame_of(copy_);
  if (!frame.empty()) last_ = copy_;
  return frame;
}

FramePayload Connector::frame_of(std::span<const std::uint8_t> copy) {
  if (game_version(copy).value_or(0) == 0) {
    // 0 (a mapping zeroed on the way out included): the game stopped.
    stopped_ = true;
    return {};
  }
  mark_ = mark_.value_or(0) + 1;
  NamedObjectsPayloadBuilder builder;
  builder.add(data_name, data_.size(), copy);
  for (std::size_t i = 0; i < rf2::buffers.size(); ++i) {
    if (!plugin_[i].is_attached()) continue;
    if (rf2::copy_buffer(plugin_[i].bytes(), rf2::buffers[i], plugin_copies_[i], plugin_tries) ==
        rf2::CopyResult::copied) {
      builder.add(rf2::buffers[i].name, plugin_[i].size(), plugin_copies_[i]);
    }
  }
  return builder.take();
}

}  // namespace vove::lmu
