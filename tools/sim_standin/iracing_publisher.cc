// The iRacing stand-in: one region with the header, the variable headers,
// the session text and three rotating data rows, plus the data-valid event.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/platform/platform.h"
#include "tools/sim_standin/iracing_fault_modes.h"
#include "tools/sim_standin/iracing_memory_layout.h"
#include "tools/sim_standin/iracing_session_text.h"
#include "tools/sim_standin/iracing_variables.h"
#include "tools/sim_standin/published_region.h"
#include "tools/sim_standin/standin_options.h"
#include "tools/sim_standin/standin_timeline.h"

namespace vove {

namespace {

std::int32_t next_tick(std::int32_t tick) noexcept {
  // Wraps like the 32-bit counter it is; C++20 defines the conversion.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(tick) + 1u);
}

class IracingStandin final : public TimelinePublisher {
 public:
  explicit IracingStandin(const StandinOptions& options)
      : options_(options),
        variables_(iracing::standin_variables()),
        layout_(iracing::plan_standin_layout(
            static_cast<std::int32_t>(variables_.size()),
            options.stamped_rows ? iracing::stamped_row_length : iracing::standin_row_length(variables_))),
        region_(iracing::memory_map_name, layout_.mapping_size),
        event_(platform::NamedEvent::create(iracing::data_valid_event_name)),
        header_(iracing::standin_memory_header(layout_)),
        laps_(options.lap_seconds.empty() && options.track_length_metres == 0.0
                  ? StandinLaps()
                  : StandinLaps(
                        options.lap_seconds.empty() ? std::vector<double>{standin_lap_seconds} : options.lap_seconds,
                        options.track_length_metres)),
        tick_(options.ticks_start),
        session_text_every_(std::max<std::int64_t>(1, std::llround(options.rate_hz * options.session_text_seconds))),
        nonsense_every_(std::max<std::int64_t>(1, std::llround(options.rate_hz / 2))) {
    if (!event_)
      throw std::runtime_error("cannot create the event '" + std::string(iracing::data_valid_event_name) + "'");
    // One slot, rewritten in place: every copy a consumer makes competes
    // with the next rewrite.
    if (options.stamped_rows) header_.buffer_count = 1;
    const auto memory = region_.bytes();
    // Not connected until everything a consumer reads is in place.
    iracing::write_memory_header(memory, header_);
    iracing::encode_variable_headers(memory.subspan(static_cast<std::size_t>(layout_.variable_header_offset),
                                                    variables_.size() * iracing::variable_header_size),
                                     variables_);
    rewrite_session_text();
    header_.status = iracing::status_connected;
    publish_header();
  }

  void produce() override {
    const std::size_t slot = options_.stamped_rows ? 0 : next_slot_;
    const auto row = iracing::row_of_slot(region_.bytes(), layout_, slot);
    if (options_.stamped_rows) {
      // The slot reads as empty while its row changes: a consumer that
      // re-checks the tick after its copy sees the change.
      header_.buffer_slots[slot].tick_count = 0;
      publish_header();
      std::atomic_thread_fence(std::memory_order_seq_cst);
      stamped_row_.resize(row.size());
      iracing::fill_standin_row(stamped_row_, variables_, tick_, iracing::standin_tick_rate, laps_);
      iracing::stamp_row(stamped_row_, tick_);
      std::copy(stamped_row_.begin(), stamped_row_.end(), row.begin());
    } else {
      iracing::fill_standin_row(row, variables_, tick_, iracing::standin_tick_rate, laps_);
    }
    // The row is complete before its tick count says it is there.
    std::atomic_thread_fence(std::memory_order_release);
    header_.buffer_slots[slot].tick_count = tick_;
    if (rows_ > 0 && rows_ % session_text_every_ == 0) rewrite_session_text();
    if (options_.nonsense_headers && rows_ / nonsense_every_ % 2 == 1) {
      // Every other half second; a negative variable count only from the
      // third such stretch on, since a consumer may refuse it outright.
      const std::int64_t kinds =
          rows_ / nonsense_every_ >= 5 ? iracing::nonsense_header_kinds : iracing::nonsense_header_kinds - 1;
      std::atomic_thread_fence(std::memory_order_release);
      iracing::write_memory_header(region_.bytes(),
                                   iracing::nonsense_header(header_, rows_ % kinds, layout_.mapping_size));
    } else {
      publish_header();
    }
    if (options_.signal_event) event_.signal();

    last_tick_ = tick_;
    tick_ = next_tick(tick_);
    next_slot_ = (slot + 1) % iracing::standin_buffer_count;
    ++rows_;
  }

  void pause() override {
    header_.status &= ~iracing::status_connected;
    publish_header();
    std::cout << "Paused iRacing telemetry: connected bit cleared" << std::endl;
  }

  void resume() override {
    // As after a simulator restart: the slots start empty and the ticks
    // start again below where they were.
    for (auto& slot : header_.buffer_slots) slot.tick_count = 0;
    if (rows_ > 0) {
      const std::int64_t below = std::int64_t{last_tick_} - 1;
      tick_ = static_cast<std::int32_t>(std::max<std::int64_t>(std::min<std::int64_t>(options_.ticks_start, below),
                                                               std::numeric_limits<std::int32_t>::min()));
    } else {
      tick_ = options_.ticks_start;
    }
    next_slot_ = 0;
    rewrite_session_text();
    header_.status |= iracing::status_connected;
    publish_header();
    std::cout << "Resumed iRacing telemetry from tick " << tick_ << std::endl;
  }

  // Clears the connected bit, as a simulator leaving the session does.
  void finish() {
    header_.status &= ~iracing::status_connected;
    publish_header();
  }

  std::int64_t rows() const noexcept { return rows_; }
  std::size_t variable_count() const noexcept { return variables_.size(); }
  std::int32_t row_length() const noexcept { return layout_.buffer_length; }

 private:
  void rewrite_session_text() {
    ++session_update_;
    iracing::write_session_text(region_.bytes(), layout_,
                                iracing::standin_session_text(session_update_, laps_.track_length()));
    // The text, with its terminating zero, is complete before its counter
    // announces it: the counter is published with the header after this.
    std::atomic_thread_fence(std::memory_order_release);
    header_.session_info_update = session_update_;
  }

  void publish_header() {
    std::atomic_thread_fence(std::memory_order_release);
    iracing::write_memory_header(region_.bytes(), header_);
  }

  const StandinOptions& options_;
  const std::vector<iracing::StandinVariable>& variables_;
  iracing::StandinLayout layout_;
  PublishedRegion region_;
  platform::NamedEvent event_;
  iracing::MemoryHeader header_;
  StandinLaps laps_;
  std::int32_t tick_;
  std::int32_t last_tick_ = 0;
  std::int32_t session_update_ = 0;
  std::size_t next_slot_ = 0;
  std::int64_t rows_ = 0;
  std::int64_t session_text_every_;
  std::int64_t nonsense_every_;
  std::vector<std::byte> stamped_row_;
};

}  // namespace

int run_iracing_standin(const StandinOptions& options, const StandinStop& stop) {
  IracingStandin standin(options);
  std::cout << "Publishing iRacing telemetry (" << standin.variable_count() << " variables, rows of "
            << standin.row_length() << " bytes, " << options.rate_hz << " updates a second)" << std::endl;
  run_standin_timeline(options, stop, standin);
  standin.finish();
  std::cout << "Stopped publishing iRacing telemetry after " << standin.rows() << " rows" << std::endl;
  return 0;
}

}  // namespace vove
