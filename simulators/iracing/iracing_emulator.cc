#include "simulators/iracing/iracing_emulator.h"

#include <atomic>
#include <cstring>
#include <iostream>
#include <span>
#include <utility>

#include "common/byte_coding.h"
#include "common/explained_error.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"
#include "simulators/iracing/iracing_frame_plan.h"

namespace vove::iracing {

namespace {

const char* problem_message(FrameProblem problem) {
  static constexpr const char* messages[] = {
      "Skipped a frame whose data row does not fit the shared memory; later such frames are "
      "skipped silently",
      "Skipped a frame whose variable headers do not fit the shared memory; later such frames are "
      "skipped silently",
      "Skipped a frame whose session text does not fit the shared memory; later such frames are "
      "skipped silently",
  };
  return messages[static_cast<std::size_t>(problem) - 1];
}

}  // namespace

void Emulator::start() {
  if (view_) return;
  // Held in locals until all succeed, so a failure releases exactly what this call got.
  auto created = platform::SharedMemory::create_or_open(memory_map_name, mapping_size);
  if (!created) throw platform_error("Failed to create file mapping", created.failure());
  auto opened = platform::SharedMemory::open_existing(memory_map_name, platform::Access::write);
  if (!opened) throw platform_error("Failed to open file mapping", opened.failure());
  auto view = created.map(platform::Access::write, mapping_size);
  if (!view) throw platform_error("Failed to map view", view.failure());
  auto event = platform::NamedEvent::create(data_valid_event_name, platform::EventWakes::every_waiter);
  if (!event) throw platform_error("Failed to create event mapping", event.failure());

  created_mapping_ = std::move(created);
  opened_mapping_ = std::move(opened);
  view_ = std::move(view);
  data_valid_event_ = std::move(event);
}

namespace {

// The mapping and its event, as the frame plan's target.
class MappingTarget final : public FrameTarget {
 public:
  MappingTarget(platform::MappedView& view, platform::NamedEvent& event) noexcept : view_(view), event_(event) {}

  MemoryHeader live_header() override {
    MemoryHeaderBytes bytes;
    std::memcpy(bytes.data(), view_.data(), bytes.size());
    return decode_memory_header(bytes);
  }
  void write(std::size_t offset, std::span<const std::uint8_t> bytes) override {
    std::memcpy(view_.data() + offset, bytes.data(), bytes.size());
  }
  void write_zeros(std::size_t offset, std::size_t length) override { std::memset(view_.data() + offset, 0, length); }
  void release_fence() override { std::atomic_thread_fence(std::memory_order_release); }
  void signal_data_valid() override { event_.signal(); }

 private:
  platform::MappedView& view_;
  platform::NamedEvent& event_;
};

}  // namespace

// A frame any part of which would land outside the mapping is skipped
// whole; otherwise the header goes last, so a reader that sees the new tick
// finds the new row.
void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!view_) return;
  const Snapshot snapshot = parse_snapshot(payload);
  const FramePlan plan = plan_frame(snapshot, view_.size(), pass_begins_, first_image_, published_);
  if (plan.problem != FrameProblem::none) {
    report_once(plan.problem);
    return;
  }
  MappingTarget target(view_, data_valid_event_);
  publish_frame(plan, target);
  published_ = plan.after;
  pass_begins_ = false;
}

void Emulator::stop() {
  if (!view_) return;
  // A client still holding the mapping must see the simulator stop rather
  // than a frozen tick with the connected bit set.
  std::byte* status = view_.data() + status_offset;
  coding::encode_i32(status, coding::decode_i32(status) & ~status_connected);

  view_.unmap();
  created_mapping_.close();
  opened_mapping_.close();
  data_valid_event_.close();
}

bool Emulator::take_earlier_frame(const std::vector<std::uint8_t>& payload) {
  Snapshot snapshot;
  try {
    snapshot = parse_snapshot(payload);
  } catch (const std::exception&) {
    return true;  // a frame that cannot be written gives nothing; look further back
  }
  return first_image_.take(std::move(snapshot));
}

void Emulator::begin_pass() { pass_begins_ = true; }

void Emulator::report_once(FrameProblem problem) {
  const auto kind = static_cast<std::size_t>(problem) - 1;
  if (reported_[kind]) return;
  reported_[kind] = true;
  std::cout << problem_message(problem) << std::endl;
}

}  // namespace vove::iracing
