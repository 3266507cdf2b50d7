// Helpers for the iRacing tests: a per-test name prefix, a simulator's side
// of the telemetry mapping, and sample headers, entries and rows.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/platform/platform.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"

namespace iracing_test {

// Gives the current test its own namespace of shared-memory names, so
// parallel runs never meet; cleared when the test ends. putenv exists on
// every platform the tests run on; it keeps the string itself, which
// therefore lives as long as the prefix is set.
class ScopedNamePrefix {
 public:
  ScopedNamePrefix() {
    static int next = 0;
    set("vovetest_" + std::to_string(::getpid()) + "_irac" + std::to_string(next++) + "_");
  }
  explicit ScopedNamePrefix(const std::string& prefix) { set(prefix); }
  ScopedNamePrefix(const ScopedNamePrefix&) = delete;
  ScopedNamePrefix& operator=(const ScopedNamePrefix&) = delete;
  ~ScopedNamePrefix() {
    static char cleared[] = "VOVE_NAME_PREFIX=";  // an empty prefix is no prefix
    ::putenv(cleared);
  }

 private:
  void set(const std::string& prefix) {
    assignment_ = "VOVE_NAME_PREFIX=" + prefix;
    ::putenv(assignment_.data());
  }

  std::string assignment_;
};

inline constexpr std::uint32_t region_size = 64 * 1024;
inline constexpr std::string_view session_text = "WeekendInfo:\n TrackName: test ring\n";

// Three slots in use, rows of 64 bytes, all well inside `region_size`.
inline iRacing::MemoryHeader sample_header() {
  iRacing::MemoryHeader header;
  header.version = 2;
  header.status = iRacing::status_connected;
  header.tick_rate = 60;
  header.session_info_update = 1;
  header.session_info_length = 1024;
  header.session_info_offset = 1024;
  header.variable_count = 3;
  header.variable_header_offset = 4096;
  header.buffer_count = 3;
  header.buffer_length = 64;
  header.padding = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int i = 0; i < iRacing::buffer_slot_count; ++i) {
    auto& slot = header.buffer_slots[static_cast<std::size_t>(i)];
    slot.tick_count = 0;
    slot.buffer_offset = 8192 + 4096 * i;
    slot.padding = {static_cast<std::uint8_t>(i), 9, 9, 9, 9, 9, 9, 9};
  }
  return header;
}

inline iRacing::VariableHeader sample_entry(int index) {
  iRacing::VariableHeader entry;
  for (std::size_t i = 0; i < entry.bytes.size(); ++i)
    entry.bytes[i] = static_cast<std::uint8_t>(index * 31 + static_cast<int>(i));
  return entry;
}

// Distinct for each tick, so a row tells which tick it belongs to.
inline std::vector<std::uint8_t> sample_row(std::int32_t tick, std::size_t length = 64) {
  std::vector<std::uint8_t> row(length);
  for (std::size_t i = 0; i < length; ++i)
    row[i] = static_cast<std::uint8_t>(tick * 7 + static_cast<int>(i));
  return row;
}

// The simulator's side of the telemetry objects, writing through its own view.
class FakeSimulator {
 public:
  explicit FakeSimulator(std::uint32_t size = region_size, bool with_event = true)
      : memory_(platform::SharedMemory::create_or_open(iRacing::memory_map_name, size)),
        view_(memory_.map(platform::Access::write, 0)) {
    if (with_event) event_ = platform::NamedEvent::create(iRacing::data_valid_event_name);
  }

  bool ready() const { return view_.is_mapped(); }
  std::size_t size() const { return view_.size(); }
  void signal() const { event_.signal(); }

  void write(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::memcpy(view_.data() + offset, bytes.data(), bytes.size());
  }
  void write_text(std::size_t offset, std::string_view text) {
    std::memcpy(view_.data() + offset, text.data(), text.size());
    view_.data()[offset + text.size()] = std::byte{0};
  }
  void write_header(const iRacing::MemoryHeader& header) {
    write(0, iRacing::encode_memory_header(header));
  }
  std::vector<std::uint8_t> read(std::size_t offset, std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    std::memcpy(bytes.data(), view_.data() + offset, count);
    return bytes;
  }

  // Header, entries and text of `sample_header`, every slot holding tick 0.
  void publish_layout(const iRacing::MemoryHeader& header) {
    for (int i = 0; i < header.variable_count; ++i)
      write(static_cast<std::size_t>(header.variable_header_offset) +
                iRacing::variable_header_size * i,
            sample_entry(i).bytes);
    write_text(static_cast<std::size_t>(header.session_info_offset), session_text);
    header_ = header;
    write_header(header_);
  }

  // A new row for `tick` in the slot after the newest, then the header.
  void publish_tick(std::int32_t tick) {
    const int slots = header_.buffer_count < 1 ? 1 : header_.buffer_count;
    const int slot = (iRacing::newest_slot(header_) + 1) % slots;
    auto& chosen = header_.buffer_slots[static_cast<std::size_t>(slot)];
    write(static_cast<std::size_t>(chosen.buffer_offset),
          sample_row(tick, static_cast<std::size_t>(header_.buffer_length)));
    chosen.tick_count = tick;
    write_header(header_);
  }

  iRacing::MemoryHeader& header() { return header_; }

 private:
  platform::SharedMemory memory_;
  platform::MappedView view_;
  platform::NamedEvent event_;
  iRacing::MemoryHeader header_;
};

// Runs `publish` every millisecond on a thread while `attempt` runs on the
// caller's; needed where the code under test records a tick first and then
// waits for the next one.
template <typename Publish, typename Attempt>
auto while_ticking(Publish publish, Attempt attempt) {
  std::atomic<bool> done{false};
  std::thread ticker([&] {
    while (!done.load()) {
      publish();
      platform::sleep_milliseconds(1);
    }
  });
  struct Join {
    std::atomic<bool>& done;
    std::thread& ticker;
    ~Join() {
      done = true;
      ticker.join();
    }
  } join{done, ticker};
  return attempt();
}

}  // namespace iracing_test
