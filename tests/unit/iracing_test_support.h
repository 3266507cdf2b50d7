// Helpers for the iRacing tests: sample header, entries and rows, and one
// side of the telemetry objects (the simulator's, or a reader's of a replay).
#pragma once

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "common/platform/platform.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_variable_table.h"

namespace vove::iracing_test {

inline constexpr std::uint32_t region_size = 64 * 1024;
inline constexpr std::string_view session_text = "WeekendInfo:\n TrackName: test ring\n";

// Three slots of 64-byte rows in use, every part well inside `region_size`.
inline iracing::MemoryHeader sample_header() {
  iracing::MemoryHeader header{.status = iracing::status_connected,
                               .session_info_update = 1,
                               .session_info_length = 1024,
                               .session_info_offset = 1024,
                               .variable_count = 3,
                               .variable_header_offset = 4096,
                               .buffer_count = 3,
                               .buffer_length = 64};
  for (int i = 0; i < 4; ++i) header.buffer_slots[static_cast<std::size_t>(i)].buffer_offset = 8192 + 4096 * i;
  return header;
}

// Distinct for each tick, so a row tells which tick it belongs to.
inline std::vector<std::uint8_t> sample_row(std::int32_t tick, std::size_t length = 64) {
  std::vector<std::uint8_t> row(length);
  for (std::size_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(tick * 7 + static_cast<int>(i));
  return row;
}

inline iracing::VariableHeader sample_entry(int index) {
  iracing::VariableHeader entry;
  std::ranges::copy(sample_row(index, entry.bytes.size()), entry.bytes.begin());
  return entry;
}

// The header of one variable of `type` named `name` at `offset` in the row.
inline iracing::VariableHeader variable(const char* name, iracing::VariableType type, std::int32_t offset) {
  iracing::VariableInfo info;
  info.name = name;
  info.type = type;
  info.row_offset = offset;
  return iracing::encode_variable_header(info);
}

// Creates the mapping and the event, or opens them when they exist already.
class Telemetry {
 public:
  explicit Telemetry(std::uint32_t size = region_size)
      : memory_(platform::SharedMemory::create_or_open(iracing::memory_map_name, size)),
        view_(memory_.map(platform::Access::write, 0)),
        event_(platform::NamedEvent::create(iracing::data_valid_event_name)) {}

  void signal() const { event_.signal(); }
  // Whether the data-valid event is signalled, taking the signal.
  bool take_signal() const { return event_.wait(std::chrono::milliseconds{0}); }
  void write(std::int64_t offset, std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) std::memcpy(view_.data() + offset, bytes.data(), bytes.size());
  }
  void write_header(const iracing::MemoryHeader& header) { write(0, iracing::encode_memory_header(header)); }
  std::vector<std::uint8_t> read(std::int64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    std::memcpy(bytes.data(), view_.data() + offset, count);
    return bytes;
  }
  iracing::MemoryHeader read_header() const {
    const auto bytes = read(0, iracing::memory_header_size);
    return iracing::decode_memory_header(std::span<const std::uint8_t, iracing::memory_header_size>(bytes));
  }

  // Entries, text and then the header.
  void publish_layout(const iracing::MemoryHeader& header) {
    for (int i = 0; i < header.variable_count; ++i)
      write(header.variable_header_offset + 144 * i, sample_entry(i).bytes);
    std::vector<std::uint8_t> text(session_text.begin(), session_text.end());
    text.push_back(0);  // the terminator
    write(header.session_info_offset, text);
    write_header(header_ = header);
  }
  // A row for `tick` in the slot after the newest, then the header.
  void publish_tick(std::int32_t tick) {
    auto& slot = header_.buffer_slots[static_cast<std::size_t>((iracing::newest_slot(header_) + 1) % 3)];
    write(slot.buffer_offset, sample_row(tick, static_cast<std::size_t>(header_.buffer_length)));
    slot.tick_count = tick;
    write_header(header_);
  }
  iracing::MemoryHeader& header() { return header_; }

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
  platform::NamedEvent event_;
  iracing::MemoryHeader header_;
};

// Runs `publish` every millisecond on a thread while `attempt` runs; for code
// that records a tick first and then waits for the next one.
template <typename Publish, typename Attempt>
auto while_ticking(Publish publish, Attempt attempt) {
  std::jthread ticker([&](std::stop_token stop) {
    while (!stop.stop_requested()) {
      publish();
      platform::sleep_for(std::chrono::milliseconds{1});
    }
  });
  return attempt();
}

}  // namespace vove::iracing_test
