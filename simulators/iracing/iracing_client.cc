#include "simulators/iracing/iracing_client.h"

#include <atomic>
#include <chrono>
#include <cstring>

#include "common/byte_coding.h"
#include "common/platform/platform.h"

namespace iRacing {

namespace {

struct ClientState {
  platform::SharedMemory mapping;
  platform::MappedView view;
  platform::NamedEvent data_valid;
  bool attached = false;
  std::int32_t last_tick = no_tick;  // tick of the last row delivered
  platform::Failure open_failure;    // of the last open attempt
};

ClientState& state() {
  static ClientState client;
  return client;
}

// Keeps why an open step failed, for open_failure(); false.
bool open_failed(const platform::Failure& failure) {
  state().open_failure = failure;
  return false;
}

const std::uint8_t* view_bytes() {
  return static_cast<const std::uint8_t*>(static_cast<const void*>(state().view.data()));
}

bool in_view(std::int64_t offset, std::uint64_t length) {
  return lies_within(offset, length, state().view.size());
}

MemoryHeader read_header() {
  MemoryHeaderBytes bytes;
  std::memcpy(bytes.data(), view_bytes(), bytes.size());
  // Whatever is read after this must not be read before it.
  std::atomic_thread_fence(std::memory_order_acquire);
  return decode_memory_header(bytes);
}

std::int32_t newest_tick(const MemoryHeader& header) {
  return header.buffer_slots[static_cast<std::size_t>(newest_slot(header))].tick_count;
}

std::int32_t read_slot_tick(int slot) {
  std::atomic_thread_fence(std::memory_order_acquire);
  return coding::decode_i32(view_bytes() + slot_tick_offset(slot));
}

// Copies the newest row per `header` when it fits both the destination and
// the view; then it is consistent if its slot still holds the same tick.
bool copy_row(const MemoryHeader& header, std::uint8_t* destination, std::size_t capacity) {
  const int slot = newest_slot(header);
  const BufferSlot& chosen = header.buffer_slots[static_cast<std::size_t>(slot)];
  const std::int32_t length = header.buffer_length;
  if (length < 0 || static_cast<std::size_t>(length) > capacity) return false;
  if (!in_view(chosen.buffer_offset, static_cast<std::uint64_t>(length))) return false;
  if (length > 0)
    std::memcpy(destination, view_bytes() + chosen.buffer_offset, static_cast<std::size_t>(length));
  return read_slot_tick(slot) == chosen.tick_count;
}

}  // namespace

bool open_shared_memory() {
  ClientState& client = state();
  client.attached = false;
  client.open_failure = {};
  // Whichever step is attempted starts the delivered ticks afresh.
  if (!client.mapping || !client.view || !client.data_valid) client.last_tick = no_tick;
  if (!client.mapping) {
    client.mapping = platform::SharedMemory::open_existing(memory_map_name, platform::Access::read);
    if (!client.mapping) return open_failed(client.mapping.failure());
  }
  if (!client.view) {
    client.view = client.mapping.map(platform::Access::read, 0);
    // A region too small for the header is not telemetry; map again next time.
    if (client.view && client.view.size() < memory_header_size) client.view.unmap();
    if (!client.view) return open_failed(client.view.failure());
  }
  if (!client.data_valid) {
    client.data_valid = platform::NamedEvent::open_existing(data_valid_event_name);
    if (!client.data_valid) return open_failed(client.data_valid.failure());
  }
  client.attached = true;
  return true;
}

void close_shared_memory() {
  ClientState& client = state();
  client.data_valid.close();
  client.view.unmap();
  client.mapping.close();
  client.attached = false;
  client.last_tick = no_tick;
}

platform::Failure open_failure() {
  const platform::Failure& failure = state().open_failure;
  return failure.missing() ? platform::Failure() : failure;
}

std::optional<MemoryHeader> current_header() {
  if (!state().attached) return std::nullopt;
  return read_header();
}

std::size_t view_size() { return state().attached ? state().view.size() : 0; }

bool poll_new_data(std::uint8_t* destination, std::size_t capacity, MemoryHeader* header) {
  ClientState& client = state();
  if (!client.attached && !open_shared_memory()) return false;

  MemoryHeader seen = read_header();
  if (!seen.connected()) {
    client.last_tick = no_tick;
    return false;
  }
  const std::int32_t tick = newest_tick(seen);
  if (client.last_tick > tick) {  // the sentinel, or the simulator restarted
    client.last_tick = tick;
    return false;
  }
  if (client.last_tick == tick) return false;

  if (destination == nullptr) {
    client.last_tick = tick;
    if (header != nullptr) *header = seen;
    return true;
  }
  // A second attempt when the simulator rewrote the row under the copy; it
  // starts from a fresh header so the row and the header still belong together.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0) {
      seen = read_header();
      if (!seen.connected() || newest_tick(seen) <= client.last_tick) return false;
    }
    if (copy_row(seen, destination, capacity)) {
      client.last_tick = newest_tick(seen);
      if (header != nullptr) *header = seen;
      return true;
    }
  }
  return false;
}

bool wait_for_new_data(std::int32_t timeout_ms, std::uint8_t* destination, std::size_t capacity,
                       MemoryHeader* header) {
  if (!state().attached && !open_shared_memory()) {
    if (timeout_ms > 0) platform::sleep_milliseconds(timeout_ms);
    return false;
  }
  if (poll_new_data(destination, capacity, header)) return true;
  // The event stays signalled while nobody waits, so a wake-up may be left
  // from a tick already seen: wait again, until the time is used up.
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    state().data_valid.wait(static_cast<std::int32_t>(left > 0 ? left : 0));
    if (poll_new_data(destination, capacity, header)) return true;
    if (Clock::now() >= deadline) return false;
  }
}

std::optional<std::string_view> session_info_text() {
  if (!state().attached) return std::nullopt;
  const std::int32_t offset = read_header().session_info_offset;
  if (offset < 0 || static_cast<std::size_t>(offset) >= state().view.size()) return std::nullopt;
  const auto* text = static_cast<const char*>(static_cast<const void*>(view_bytes() + offset));
  const std::size_t room = state().view.size() - static_cast<std::size_t>(offset);
  const void* terminator = std::memchr(text, 0, room);
  const std::size_t length =
      terminator == nullptr ? room
                            : static_cast<std::size_t>(static_cast<const char*>(terminator) - text);
  return std::string_view(text, length);
}

std::optional<VariableHeader> variable_header_at(std::int32_t index) {
  if (!state().attached || index < 0) return std::nullopt;
  const MemoryHeader live = read_header();
  if (index >= live.variable_count) return std::nullopt;
  const std::int64_t offset = std::int64_t{live.variable_header_offset} +
                              std::int64_t{index} * std::int64_t{variable_header_size};
  if (!in_view(offset, variable_header_size)) return std::nullopt;
  VariableHeader entry;
  std::memcpy(entry.bytes.data(), view_bytes() + offset, variable_header_size);
  return entry;
}

}  // namespace iRacing
