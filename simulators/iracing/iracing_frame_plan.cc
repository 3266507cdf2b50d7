#include "simulators/iracing/iracing_frame_plan.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/byte_coding.h"

namespace vove::iracing {

namespace {

// A recorded 32-bit count moved by `offset`. The count goes on past its
// largest value as the simulator's own would: modulo 2^32.
std::int32_t shifted(std::int32_t recorded, std::int64_t offset) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(recorded) + offset));
}

BufferSlot& slot_of(MemoryHeader& header, int index) noexcept {
  return header.buffer_slots[static_cast<std::size_t>(index)];
}

// Part of the mapping a row occupies.
struct RowArea {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

bool overlap(const RowArea& a, const RowArea& b) noexcept {
  return a.length > 0 && b.length > 0 && a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

// Checked in reverse, so the row, then the entries, then the text is reported.
FrameProblem problem_of(const MemoryHeader& header, std::uint64_t text_length, std::uint64_t entries_length,
                        std::uint64_t row_length, std::size_t size) noexcept {
  const BufferSlot& newest = header.buffer_slots[static_cast<std::size_t>(newest_slot(header))];
  FrameProblem problem = FrameProblem::none;
  if (text_length > 0 && !lies_within(header.session_info_offset, text_length, size))
    problem = FrameProblem::session_text_outside;
  if (entries_length > 0 && !lies_within(header.variable_header_offset, entries_length, size))
    problem = FrameProblem::variable_headers_outside;
  if (row_length > 0 && !lies_within(newest.buffer_offset, row_length, size)) problem = FrameProblem::row_outside;
  return problem;
}

// After a restart every slot's tick goes on above every tick published so
// far, and the text counts as new.
void continue_above(const MemoryHeader& recorded, TickContinuation& continuation) noexcept {
  std::int64_t lowest = recorded.buffer_slots[0].tick_count;
  for (int i = 1; i < slots_in_use(recorded); ++i) {
    lowest = std::min<std::int64_t>(lowest, recorded.buffer_slots[static_cast<std::size_t>(i)].tick_count);
  }
  continuation.tick_offset = continuation.highest_tick - lowest + 1;
  continuation.update_offset = static_cast<std::int64_t>(continuation.last_update) - recorded.session_info_update + 1;
}

std::span<const std::uint8_t> bytes_of(std::string_view text) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool FirstImage::take(Snapshot snapshot) {
  auto& row = rows[static_cast<std::size_t>(newest_slot(snapshot.header))];
  if (!row) row = std::move(snapshot.row);
  if (!text && !snapshot.session_info.empty()) text = std::move(snapshot.session_info);
  bool complete = text.has_value();
  for (int i = 0; i < slots_in_use(snapshot.header); ++i) complete = complete && rows[static_cast<std::size_t>(i)];
  return !complete;
}

FramePlan plan_frame(const Snapshot& snapshot, std::size_t mapping_size, bool pass_begins,
                     const FirstImage& first_image, const TickContinuation& so_far) {
  FramePlan plan;
  plan.header = snapshot.header;
  plan.after = so_far;
  MemoryHeader& header = plan.header;
  const int in_use = slots_in_use(header);
  const int newest_index = newest_slot(header);

  // The first frame of a pass carries the text in force, had it none itself.
  std::string_view text = snapshot.session_info;
  if (pass_begins && text.empty() && first_image.text) text = *first_image.text;
  const std::uint64_t row_length = snapshot.row.size();
  const std::uint64_t entries_length = variable_header_size * snapshot.variable_headers.size();
  plan.problem = problem_of(header, text.size(), entries_length, row_length, mapping_size);
  if (plan.problem != FrameProblem::none) return plan;

  TickContinuation& after = plan.after;
  if (pass_begins && so_far.published) continue_above(header, after);
  for (int i = 0; i < in_use; ++i)
    slot_of(header, i).tick_count = shifted(slot_of(header, i).tick_count, after.tick_offset);
  header.session_info_update = shifted(header.session_info_update, after.update_offset);

  if (!text.empty()) {
    plan.text_offset = header.session_info_offset;
    plan.text = text;
    const std::uint64_t text_end = static_cast<std::uint64_t>(header.session_info_offset) + text.size();
    plan.text_area_end = text_end;
    if (header.session_info_length > 0 && text.size() < static_cast<std::uint64_t>(header.session_info_length)) {
      const std::uint64_t area_end = static_cast<std::uint64_t>(header.session_info_offset) +
                                     static_cast<std::uint64_t>(header.session_info_length);
      plan.text_area_end = std::max(text_end, std::min<std::uint64_t>(area_end, mapping_size));
    }
  }
  if (entries_length > 0) {
    plan.variable_headers_offset = header.variable_header_offset;
    plan.variable_headers = snapshot.variable_headers;
  }
  // The slots this frame does not write hold, at the start of a pass, the
  // rows of the frames before the range, as they would had the replay run
  // through them.
  for (int i = 0; pass_begins && i < in_use; ++i) {
    const auto& row = first_image.rows[static_cast<std::size_t>(i)];
    const std::int32_t offset = slot_of(header, i).buffer_offset;
    if (i == newest_index || !row || row->size() != row_length || !lies_within(offset, row->size(), mapping_size))
      continue;
    plan.rows.push_back({offset, *row});
  }
  if (row_length > 0) plan.rows.push_back({slot_of(header, newest_index).buffer_offset, snapshot.row});

  for (int i = 0; i < in_use; ++i) {
    const std::int64_t tick = slot_of(header, i).tick_count;
    if (!after.published || tick > after.highest_tick) after.highest_tick = tick;
    after.published = true;
  }
  after.last_update = header.session_info_update;
  return plan;
}

namespace {

// A client trusts a row it copied if the slot still holds the tick it read
// before the copy, and it takes only ticks above the last it took. So every
// published slot over a row about to be rewritten first gets the lowest
// tick there is: a copy under way fails its check, and no client takes that
// slot for new data until the header gives it its frame's tick.
void withdraw_slots_over(std::span<const RowWrite> rewritten, FrameTarget& target) {
  const MemoryHeader live = target.live_header();
  bool withdrew = false;
  for (int i = 0; i < slots_in_use(live); ++i) {
    const RowArea published{live.buffer_slots[static_cast<std::size_t>(i)].buffer_offset,
                            live.buffer_length < 0 ? 0 : live.buffer_length};
    const auto over_published = [&](const RowWrite& row) {
      return overlap({row.offset, static_cast<std::int64_t>(row.bytes.size())}, published);
    };
    if (std::ranges::none_of(rewritten, over_published)) continue;
    std::array<std::uint8_t, 4> lowest{};
    coding::encode_i32(lowest.data(), std::numeric_limits<std::int32_t>::min());
    target.write(slot_tick_offset(i), lowest);
    withdrew = true;
  }
  // The rows written next must not become visible before the withdrawn ticks.
  if (withdrew) target.release_fence();
}

}  // namespace

void publish_frame(const FramePlan& plan, FrameTarget& target) {
  if (plan.problem != FrameProblem::none) return;
  if (!plan.text.empty()) {
    const auto offset = static_cast<std::size_t>(plan.text_offset);
    target.write(offset, bytes_of(plan.text));
    const std::uint64_t text_end = offset + plan.text.size();
    if (plan.text_area_end > text_end) target.write_zeros(text_end, plan.text_area_end - text_end);
  }
  auto entry_offset = static_cast<std::size_t>(plan.variable_headers_offset);
  for (const VariableHeader& entry : plan.variable_headers) {
    target.write(entry_offset, entry.bytes);
    entry_offset += variable_header_size;
  }
  withdraw_slots_over(plan.rows, target);
  for (const RowWrite& row : plan.rows) target.write(static_cast<std::size_t>(row.offset), row.bytes);

  // The header carries the new tick: it must not become visible before the
  // row it announces.
  target.release_fence();
  target.write(0, encode_memory_header(plan.header));
  // Every client that waits on the event learns of the frame at once, as
  // from the simulator, however many there are.
  target.signal_data_valid();
}

}  // namespace vove::iracing
