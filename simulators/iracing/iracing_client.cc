#include "simulators/iracing/iracing_client.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

#include "common/byte_coding.h"
#include "common/platform/platform.h"

namespace vove::iracing {

Client::Client(Client&& other) noexcept
    : mapping_(std::move(other.mapping_)),
      view_(std::move(other.view_)),
      data_valid_(std::move(other.data_valid_)),
      attached_(std::exchange(other.attached_, false)),
      last_tick_(std::exchange(other.last_tick_, no_tick)),
      open_failure_(std::move(other.open_failure_)) {}

Client& Client::operator=(Client&& other) noexcept {
  if (this == &other) return *this;
  close();
  mapping_ = std::move(other.mapping_);
  view_ = std::move(other.view_);
  data_valid_ = std::move(other.data_valid_);
  attached_ = std::exchange(other.attached_, false);
  last_tick_ = std::exchange(other.last_tick_, no_tick);
  open_failure_ = std::move(other.open_failure_);
  return *this;
}

// Keeps why an open step failed, for open_failure(); false.
bool Client::open_failed(const platform::Failure& failure) {
  open_failure_ = failure;
  return false;
}

const std::uint8_t* Client::view_bytes() const noexcept {
  return static_cast<const std::uint8_t*>(static_cast<const void*>(view_.data()));
}

bool Client::in_view(std::int64_t offset, std::uint64_t length) const noexcept {
  return lies_within(offset, length, view_.size());
}

MemoryHeader Client::read_header() const {
  MemoryHeaderBytes bytes;
  std::memcpy(bytes.data(), view_bytes(), bytes.size());
  // Whatever is read after this must not be read before it.
  std::atomic_thread_fence(std::memory_order_acquire);
  return decode_memory_header(bytes);
}

std::int32_t Client::read_slot_tick(int slot) const {
  std::atomic_thread_fence(std::memory_order_acquire);
  return coding::decode_i32(view_bytes() + slot_tick_offset(slot));
}

// Copies the newest row per `header` when it fits both the destination and
// the view; then it is consistent if its slot still holds the same tick.
bool Client::copy_row(const MemoryHeader& header, std::uint8_t* destination, std::size_t capacity) const {
  const int slot = newest_slot(header);
  const BufferSlot& chosen = header.buffer_slots[static_cast<std::size_t>(slot)];
  const std::int32_t length = header.buffer_length;
  if (length < 0 || static_cast<std::size_t>(length) > capacity) return false;
  if (!in_view(chosen.buffer_offset, static_cast<std::uint64_t>(length))) return false;
  if (length > 0) std::memcpy(destination, view_bytes() + chosen.buffer_offset, static_cast<std::size_t>(length));
  return read_slot_tick(slot) == chosen.tick_count;
}

bool Client::open() {
  attached_ = false;
  open_failure_ = {};
  // Whichever step is attempted starts the delivered ticks afresh.
  if (!mapping_ || !view_ || !data_valid_) last_tick_ = no_tick;
  if (!mapping_) {
    mapping_ = platform::SharedMemory::open_existing(memory_map_name, platform::Access::read);
    if (!mapping_) return open_failed(mapping_.failure());
  }
  if (!view_) {
    view_ = mapping_.map(platform::Access::read, 0);
    // A region too small for the header is not telemetry; map again next time.
    if (view_ && view_.size() < memory_header_size) view_.unmap();
    if (!view_) return open_failed(view_.failure());
  }
  if (!data_valid_) {
    data_valid_ = platform::NamedEvent::open_existing(data_valid_event_name);
    if (!data_valid_) return open_failed(data_valid_.failure());
  }
  attached_ = true;
  return true;
}

void Client::close() noexcept {
  data_valid_.close();
  view_.unmap();
  mapping_.close();
  attached_ = false;
  last_tick_ = no_tick;
}

platform::Failure Client::open_failure() const { return open_failure_.missing() ? platform::Failure() : open_failure_; }

std::optional<MemoryHeader> Client::current_header() const {
  if (!attached_) return std::nullopt;
  return read_header();
}

std::size_t Client::view_size() const noexcept { return attached_ ? view_.size() : 0; }

bool Client::poll_new_data(std::uint8_t* destination, std::size_t capacity, MemoryHeader* header) {
  if (!attached_ && !open()) return false;

  MemoryHeader seen = read_header();
  if (!seen.connected()) {
    last_tick_ = no_tick;
    return false;
  }
  const std::int32_t tick = newest_tick(seen);
  if (last_tick_ > tick) {  // the sentinel, or the simulator restarted
    last_tick_ = tick;
    return false;
  }
  if (last_tick_ == tick) return false;

  if (destination == nullptr) {
    last_tick_ = tick;
    if (header != nullptr) *header = seen;
    return true;
  }
  // A second attempt when the simulator rewrote the row under the copy; it
  // starts from a fresh header so the row and the header still belong together.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0) {
      seen = read_header();
      if (!seen.connected() || newest_tick(seen) <= last_tick_) return false;
    }
    if (copy_row(seen, destination, capacity)) {
      last_tick_ = newest_tick(seen);
      if (header != nullptr) *header = seen;
      return true;
    }
  }
  return false;
}

bool Client::wait_for_new_data(std::chrono::milliseconds timeout, std::uint8_t* destination, std::size_t capacity,
                               MemoryHeader* header) {
  if (!attached_ && !open()) {
    platform::sleep_for(timeout);
    return false;
  }
  if (poll_new_data(destination, capacity, header)) return true;
  // The event stays signalled while nobody waits, so a wake-up may be left
  // from a tick already seen: wait again, until the time is used up.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    // Rounded up, so the wait never ends before the deadline.
    data_valid_.wait(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
    if (poll_new_data(destination, capacity, header)) return true;
    if (Clock::now() >= deadline) return false;
  }
}

std::optional<std::string_view> Client::session_info_text() const {
  if (!attached_) return std::nullopt;
  const std::int32_t offset = read_header().session_info_offset;
  if (offset < 0 || static_cast<std::size_t>(offset) >= view_.size()) return std::nullopt;
  const auto* text = static_cast<const char*>(static_cast<const void*>(view_bytes() + offset));
  const std::size_t room = view_.size() - static_cast<std::size_t>(offset);
  const void* terminator = std::memchr(text, 0, room);
  const std::size_t length =
      terminator == nullptr ? room : static_cast<std::size_t>(static_cast<const char*>(terminator) - text);
  return std::string_view(text, length);
}

std::optional<VariableHeader> Client::variable_header_at(std::int32_t index) const {
  if (!attached_ || index < 0) return std::nullopt;
  const MemoryHeader live = read_header();
  if (index >= live.variable_count) return std::nullopt;
  const std::int64_t offset =
      std::int64_t{live.variable_header_offset} + std::int64_t{index} * std::int64_t{variable_header_size};
  if (!in_view(offset, variable_header_size)) return std::nullopt;
  VariableHeader entry;
  std::memcpy(entry.bytes.data(), view_bytes() + offset, variable_header_size);
  return entry;
}

}  // namespace vove::iracing
