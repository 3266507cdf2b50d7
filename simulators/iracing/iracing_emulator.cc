#include "simulators/iracing/iracing_emulator.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <iostream>
#include <limits>
#include <span>
#include <stdexcept>
#include <utility>

#include "common/byte_coding.h"
#include "common/explained_error.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"

namespace iRacing {

namespace {

const char* problem_message(int problem) {
  static constexpr const char* messages[] = {
      "Skipped a frame whose data row does not fit the shared memory; later such frames are "
      "skipped silently",
      "Skipped a frame whose variable headers do not fit the shared memory; later such frames are "
      "skipped silently",
      "Skipped a frame whose session text does not fit the shared memory; later such frames are "
      "skipped silently",
  };
  return messages[problem];
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

// The slots a header has in use: at least the first, at most the four.
int slots_in_use(const MemoryHeader& header) noexcept {
  return header.buffer_count < 1 ? 1 : header.buffer_count > buffer_slot_count ? buffer_slot_count : header.buffer_count;
}

// A recorded 32-bit count moved by `offset`. The count goes on past its
// largest value as the simulator's own would: modulo 2^32.
std::int32_t shifted(std::int32_t recorded, std::int64_t offset) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(recorded) + offset));
}

// Part of the mapping a row occupies.
struct RowArea {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

bool overlap(const RowArea& a, const RowArea& b) noexcept {
  return a.length > 0 && b.length > 0 && a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

// A client trusts a row it copied if the slot still holds the tick it read
// before the copy, and it takes only ticks above the last it took. So every
// published slot over a row about to be rewritten first gets the lowest
// tick there is: a copy under way fails its check, and no client takes that
// slot for new data until the header gives it its frame's tick.
void withdraw_slots_over(std::byte* base, std::span<const RowArea> rewritten) {
  MemoryHeaderBytes bytes;
  std::memcpy(bytes.data(), base, bytes.size());
  const MemoryHeader live = decode_memory_header(bytes);
  bool withdrew = false;
  for (int i = 0; i < slots_in_use(live); ++i) {
    const RowArea published{live.buffer_slots[static_cast<std::size_t>(i)].buffer_offset,
                            live.buffer_length < 0 ? 0 : live.buffer_length};
    if (std::ranges::none_of(rewritten, [&](const RowArea& area) { return overlap(area, published); })) continue;
    coding::encode_i32(base + slot_tick_offset(i), std::numeric_limits<std::int32_t>::min());
    withdrew = true;
  }
  // The rows written next must not become visible before the withdrawn ticks.
  if (withdrew) std::atomic_thread_fence(std::memory_order_release);
}

}  // namespace

void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!view_) return;
  const Snapshot snapshot = parse_snapshot(payload);
  MemoryHeader header = snapshot.header;
  const std::size_t size = view_.size();
  const int in_use = slots_in_use(header);
  const int newest_index = newest_slot(header);

  const BufferSlot& newest = header.buffer_slots[static_cast<std::size_t>(newest_index)];
  // The first frame of a pass carries the text in force, had it none itself.
  const std::string* text = &snapshot.session_info;
  if (pass_begins_ && text->empty() && earlier_text_) text = &*earlier_text_;
  const std::uint64_t row_length = snapshot.row.size();
  const std::uint64_t entries_length = variable_header_size * snapshot.variable_headers.size();
  const std::uint64_t text_length = text->size();
  // Checked in reverse, so the row, then the entries, then the text is reported.
  Problem problem = problem_count;
  if (text_length > 0 && !lies_within(header.session_info_offset, text_length, size))
    problem = session_text_outside;
  if (entries_length > 0 && !lies_within(header.variable_header_offset, entries_length, size))
    problem = variable_headers_outside;
  if (row_length > 0 && !lies_within(newest.buffer_offset, row_length, size)) problem = row_outside;
  if (problem != problem_count) {
    report_once(problem);
    return;
  }

  if (pass_begins_ && published_) {
    // Every slot's tick goes on above every tick published so far, and the
    // text counts as new, so clients neither see time go back nor keep the
    // text of the pass's end.
    std::int64_t lowest = header.buffer_slots[0].tick_count;
    for (int i = 1; i < in_use; ++i) {
      const std::int64_t tick = header.buffer_slots[static_cast<std::size_t>(i)].tick_count;
      if (tick < lowest) lowest = tick;
    }
    tick_offset_ = highest_tick_ - lowest + 1;
    update_offset_ = static_cast<std::int64_t>(last_update_) - header.session_info_update + 1;
  }
  for (int i = 0; i < in_use; ++i) {
    BufferSlot& slot = header.buffer_slots[static_cast<std::size_t>(i)];
    slot.tick_count = shifted(slot.tick_count, tick_offset_);
  }
  header.session_info_update = shifted(header.session_info_update, update_offset_);

  std::byte* base = view_.data();
  if (text_length > 0) {
    std::byte* area = base + header.session_info_offset;
    std::memcpy(area, text->data(), text_length);
    // Clients search the whole declared area, not only up to the first zero:
    // nothing of an older, longer text may remain behind this one.
    if (header.session_info_length > 0 && text_length < static_cast<std::uint64_t>(header.session_info_length)) {
      const std::uint64_t area_end = static_cast<std::uint64_t>(header.session_info_offset) +
                                     static_cast<std::uint64_t>(header.session_info_length);
      const std::uint64_t end = area_end < size ? area_end : size;
      const std::uint64_t text_end = static_cast<std::uint64_t>(header.session_info_offset) + text_length;
      if (end > text_end) std::memset(base + text_end, 0, end - text_end);
    }
  }
  if (entries_length > 0) {
    std::byte* entries = base + header.variable_header_offset;
    for (const VariableHeader& entry : snapshot.variable_headers) {
      std::memcpy(entries, entry.bytes.data(), variable_header_size);
      entries += variable_header_size;
    }
  }
  // The slots this frame does not write hold, at the start of a pass, the
  // rows of the frames before the range, as they would had the replay run
  // through them.
  std::array<const std::vector<std::uint8_t>*, buffer_slot_count> earlier_rows{};
  std::array<RowArea, buffer_slot_count + 1> rewritten{};
  std::size_t rewritten_count = 0;
  if (row_length > 0)
    rewritten[rewritten_count++] = {newest.buffer_offset, static_cast<std::int64_t>(row_length)};
  for (int i = 0; pass_begins_ && i < in_use; ++i) {
    const auto& row = earlier_rows_[static_cast<std::size_t>(i)];
    const std::int32_t offset = header.buffer_slots[static_cast<std::size_t>(i)].buffer_offset;
    if (i == newest_index || !row || row->size() != row_length || !lies_within(offset, row->size(), size)) continue;
    earlier_rows[static_cast<std::size_t>(i)] = &*row;
    rewritten[rewritten_count++] = {offset, static_cast<std::int64_t>(row->size())};
  }
  withdraw_slots_over(base, std::span(rewritten.data(), rewritten_count));
  for (int i = 0; i < in_use; ++i) {
    const auto* row = earlier_rows[static_cast<std::size_t>(i)];
    if (row != nullptr)
      std::memcpy(base + header.buffer_slots[static_cast<std::size_t>(i)].buffer_offset, row->data(), row->size());
  }
  if (row_length > 0) std::memcpy(base + newest.buffer_offset, snapshot.row.data(), row_length);

  // The header carries the new tick: it must not become visible before the
  // row it announces.
  std::atomic_thread_fence(std::memory_order_release);
  const MemoryHeaderBytes header_bytes = encode_memory_header(header);
  std::memcpy(base, header_bytes.data(), header_bytes.size());
  // Every client that waits on the event learns of the frame at once, as
  // from the simulator, however many there are.
  data_valid_event_.signal();

  for (int i = 0; i < in_use; ++i) {
    const std::int64_t tick = header.buffer_slots[static_cast<std::size_t>(i)].tick_count;
    if (!published_ || tick > highest_tick_) highest_tick_ = tick;
    published_ = true;
  }
  last_update_ = header.session_info_update;
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
  auto& row = earlier_rows_[static_cast<std::size_t>(newest_slot(snapshot.header))];
  if (!row) row = std::move(snapshot.row);
  if (!earlier_text_ && !snapshot.session_info.empty()) earlier_text_ = std::move(snapshot.session_info);
  bool complete = earlier_text_.has_value();
  for (int i = 0; i < slots_in_use(snapshot.header); ++i) complete = complete && earlier_rows_[static_cast<std::size_t>(i)];
  return !complete;
}

void Emulator::begin_pass() { pass_begins_ = true; }

void Emulator::report_once(Problem problem) {
  if (reported_[problem]) return;
  reported_[problem] = true;
  std::cout << problem_message(problem) << std::endl;
}

}  // namespace iRacing
