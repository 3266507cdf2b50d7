// iracing_probe: a telemetry client of the iRacing shared memory that reports
// what it sees, one line per event, for the end-to-end tests (natively and
// under Wine). It holds the mapping as any client does, polls the header
// (or waits on the data-valid event) and prints:
//
//   attached
//   frame <tick> update <session_info_update> status <status> slots <tick>:<row hash>,...
//   text <session_info_update> <length up to the first zero>
//   end cleared|idle
//   frames <count>
//   wakes <count>                   (with --wait-event)
//   woken <count>                   (with --wait-event: frames found right after a wake)
//   status <status>                 (the header's status when it ended)
//
// It ends when the connected bit is cleared after a frame was seen, or when
// no new frame came for --idle-seconds.
#include <boost/program_options.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "common/command_line.h"
#include "common/platform/platform.h"
#include "common/steady_clock.h"
#include "formats/iracing_layout.h"

using namespace vove;

namespace options = boost::program_options;

namespace {

struct Settings {
  bool wait_event = false;
  double idle_seconds = 3;
  double attach_seconds = 30;
  std::string area_file;
};

// FNV-1a: a row's fingerprint, computed the same way by the tests.
std::uint32_t row_hash(const std::byte* bytes, std::size_t length) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<std::uint8_t>(bytes[i])) * 16777619u;
  return hash;
}

iracing::MemoryHeader read_header(const platform::MappedView& view) {
  iracing::MemoryHeaderBytes bytes{};
  std::memcpy(bytes.data(), view.data(), bytes.size());
  return iracing::decode_memory_header(bytes);
}

int run(const Settings& settings) {
  const SteadyClock clock;
  const SteadyTime attach_limit =
      clock.now() + std::chrono::nanoseconds{static_cast<std::int64_t>(settings.attach_seconds * 1e9)};
  platform::SharedMemory memory;
  platform::MappedView view;
  platform::NamedEvent event;
  while (!view || (settings.wait_event && !event)) {
    if (clock.now() > attach_limit) {
      std::cout << "no telemetry to attach to" << std::endl;
      return 1;
    }
    if (!memory) memory = platform::SharedMemory::open_existing(iracing::memory_map_name, platform::Access::read);
    if (memory && !view) view = memory.map(platform::Access::read, 0);
    if (settings.wait_event && !event) event = platform::NamedEvent::open_existing(iracing::data_valid_event_name);
    if (!view || (settings.wait_event && !event)) platform::sleep_for(std::chrono::milliseconds{10});
  }
  std::cout << "attached" << std::endl;

  const std::chrono::nanoseconds idle_limit{static_cast<std::int64_t>(settings.idle_seconds * 1e9)};
  std::optional<std::int32_t> last_tick;
  std::optional<std::int32_t> last_update;
  std::uint64_t frames = 0;
  std::uint64_t wakes = 0;
  std::uint64_t woken = 0;
  SteadyTime last_change = clock.now();
  iracing::MemoryHeader header;
  const char* end = "idle";
  for (;;) {
    // As a simulator's own client waits: on the event with a time-out, then
    // a look at the header's tick.
    bool signalled = false;
    if (settings.wait_event) {
      signalled = event.wait(std::chrono::milliseconds{100});
      if (signalled) ++wakes;
    } else {
      platform::sleep_for(std::chrono::milliseconds{1});
    }
    const SteadyTime now = clock.now();
    header = read_header(view);
    const std::int32_t tick = iracing::newest_tick(header);
    if (header.connected() && tick != 0 && tick != last_tick) {
      last_tick = tick;
      last_change = now;
      ++frames;
      if (signalled) ++woken;
      std::cout << "frame " << tick << " update " << header.session_info_update << " status " << header.status
                << " slots ";
      const int in_use = std::clamp(header.buffer_count, 1, iracing::buffer_slot_count);
      for (int i = 0; i < in_use; ++i) {
        const auto& slot = header.buffer_slots[static_cast<std::size_t>(i)];
        const bool inside =
            header.buffer_length >= 0 &&
            iracing::lies_within(slot.buffer_offset, static_cast<std::uint64_t>(header.buffer_length), view.size());
        std::cout << (i ? "," : "") << slot.tick_count << ':'
                  << (inside
                          ? row_hash(view.data() + slot.buffer_offset, static_cast<std::size_t>(header.buffer_length))
                          : 0);
      }
      std::cout << '\n';
      if (header.session_info_update != last_update) {
        last_update = header.session_info_update;
        std::size_t length = 0;
        if (iracing::lies_within(header.session_info_offset, 0, view.size())) {
          const auto* text = view.data() + header.session_info_offset;
          const std::size_t room = view.size() - static_cast<std::size_t>(header.session_info_offset);
          while (length < room && text[length] != std::byte{0}) ++length;
        }
        std::cout << "text " << header.session_info_update << ' ' << length << '\n';
      }
      std::cout.flush();
    }
    if (frames > 0 && !header.connected()) {
      end = "cleared";
      break;
    }
    if (now - last_change > idle_limit) break;
  }

  if (!settings.area_file.empty() && header.session_info_length > 0 &&
      iracing::lies_within(header.session_info_offset, static_cast<std::uint64_t>(header.session_info_length),
                           view.size())) {
    std::ofstream(settings.area_file, std::ios::binary)
        .write(reinterpret_cast<const char*>(view.data() + header.session_info_offset), header.session_info_length);
  }
  std::cout << "end " << end << "\nframes " << frames << '\n';
  if (settings.wait_event) std::cout << "wakes " << wakes << "\nwoken " << woken << '\n';
  std::cout << "status " << header.status << '\n';
  std::cout.flush();
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  Settings settings;
  try {
    options::options_description description("Allowed options", 80, 40);
    description.add_options()("help", "Produce help message")("wait-event", options::bool_switch(&settings.wait_event),
                                                              "Wait on the data-valid event between reads")(
        "idle-seconds", options::value<double>(&settings.idle_seconds), "End after this long without a new frame")(
        "attach-seconds", options::value<double>(&settings.attach_seconds), "Give up attaching after this long")(
        "area-file", options::value<std::string>(&settings.area_file),
        "At the end, write the declared session-text area to this file");
    options::variables_map values;
    store_command_line(argc, argv, description, values);
    if (values.count("help") != 0) {
      std::cout << description << "\n";
      return 1;
    }
    options::notify(values);
  } catch (const std::exception& error) {
    std::cerr << "Error: " << error.what() << std::endl;
    return 1;
  }
  return run(settings);
}
