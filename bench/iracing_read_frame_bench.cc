// The recorder's iRacing read: one new row per call from a region laid out
// and filled the way the stand-in publishes it, turned into a frame payload
// (row copy, variable headers, session text when it changed, serialising).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_frames.h"
#include "common/platform/platform.h"
#include "formats/iracing_layout.h"
#include "simulators/iracing/iracing_connector.h"
#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_variables.h"
#include "tools/sim_standin/published_region.h"

namespace vove {

namespace {

// The simulator's side, driven from the benchmark's own thread: rows are
// filled once, after that each advance only moves the tick to the next slot
// (and, when asked, announces a new session text), so the timed loop holds
// little besides the read.
class RegionDriver {
 public:
  RegionDriver()
      : variables_(iracing::standin_variables()),
        layout_(iracing::plan_standin_layout(static_cast<std::int32_t>(variables_.size()),
                                             iracing::standin_row_length(variables_))),
        region_(iracing::memory_map_name, layout_.mapping_size),
        event_(platform::NamedEvent::create(iracing::data_valid_event_name)),
        header_(iracing::standin_memory_header(layout_)) {
    if (!event_) throw std::runtime_error("cannot create the data-valid event");
    const auto memory = region_.bytes();
    iracing::encode_variable_headers(memory.subspan(static_cast<std::size_t>(layout_.variable_header_offset),
                                                    variables_.size() * iracing::variable_header_size),
                                     variables_);
    iracing::write_session_text(memory, layout_, iracing::standin_session_text(1));
    for (std::size_t slot = 0; slot < iracing::standin_buffer_count; ++slot)
      iracing::fill_standin_row(iracing::row_of_slot(memory, layout_, slot), variables_,
                                static_cast<std::int32_t>(slot), iracing::standin_tick_rate);
    header_.session_info_update = 1;
    header_.status = iracing::status_connected;
    iracing::write_memory_header(memory, header_);
  }

  void advance(bool new_session_text) {
    ++tick_;
    slot_ = (slot_ + 1) % iracing::standin_buffer_count;
    header_.buffer_slots[slot_].tick_count = tick_;
    if (new_session_text) ++header_.session_info_update;
    std::atomic_thread_fence(std::memory_order_release);
    iracing::write_memory_header(region_.bytes(), header_);
  }

  void signal() const noexcept { event_.signal(); }

 private:
  const std::vector<iracing::StandinVariable>& variables_;
  iracing::StandinLayout layout_;
  PublishedRegion region_;
  platform::NamedEvent event_;
  iracing::MemoryHeader header_;
  std::int32_t tick_ = 0;
  std::size_t slot_ = 0;
};

// connect() needs a row newer than the one it first sees, so a helper
// thread keeps producing until it has attached; the timed loop is single
// threaded again.
bool connect_while_producing(iracing::Connector& connector, RegionDriver& driver) {
  std::atomic<bool> attached{false};
  std::thread producer([&] {
    while (!attached.load()) {
      driver.advance(false);
      driver.signal();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const bool connected = connector.connect(std::chrono::milliseconds{2000});
  attached = true;
  producer.join();
  return connected;
}

void IracingReadFrame(benchmark::State& state) {
  const bool text_every_frame = state.range(0) != 0;
  state.SetLabel(text_every_frame ? "session text every frame" : "row only");
  bench::use_private_names("read");
  std::optional<RegionDriver> published;
  try {
    published.emplace();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  RegionDriver& driver = *published;
  iracing::Connector connector;
  if (!connect_while_producing(connector, driver)) {
    state.SkipWithError("the connector did not attach");
    return;
  }
  // The first frame of a connection always carries the text; take it here.
  driver.advance(false);
  benchmark::DoNotOptimize(connector.read_frame(std::chrono::milliseconds{0}));

  std::uint64_t payload_bytes = 0;
  std::size_t last_size = 0;
  for (auto _ : state) {
    // A new tick each time: the poll sees it at once, so nothing waits on
    // the event and it is not signalled here.
    driver.advance(text_every_frame);
    const auto payload = connector.read_frame(std::chrono::milliseconds{0});
    if (payload.empty()) {
      state.SkipWithError("read_frame found no new row");
      break;
    }
    payload_bytes += payload.size();
    last_size = payload.size();
  }
  connector.disconnect();
  state.SetBytesProcessed(static_cast<std::int64_t>(payload_bytes));
  state.counters["payload_bytes"] = static_cast<double>(last_size);
}
BENCHMARK(IracingReadFrame)->Arg(0)->Arg(1);

}  // namespace

}  // namespace vove
