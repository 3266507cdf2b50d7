#include "emulator/iracing_emulator.h"

#include <atomic>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <utility>

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
  if (!created) throw std::runtime_error("Failed to create file mapping");
  auto opened = platform::SharedMemory::open_existing(memory_map_name, platform::Access::write);
  if (!opened) throw std::runtime_error("Failed to open file mapping");
  auto view = created.map(platform::Access::write, mapping_size);
  if (!view) throw std::runtime_error("Failed to map view");
  auto event = platform::NamedEvent::create(data_valid_event_name);
  if (!event) throw std::runtime_error("Failed to create event mapping");

  created_mapping_ = std::move(created);
  opened_mapping_ = std::move(opened);
  view_ = std::move(view);
  data_valid_event_ = std::move(event);
}

void Emulator::write_frame(const std::vector<std::uint8_t>& payload) {
  if (!view_) return;
  const Snapshot snapshot = parse_snapshot(payload);
  const MemoryHeader& header = snapshot.header;
  const std::size_t size = view_.size();

  const BufferSlot& newest = header.buffer_slots[static_cast<std::size_t>(newest_slot(header))];
  const std::uint64_t row_length = snapshot.row.size();
  const std::uint64_t entries_length = variable_header_size * snapshot.variable_headers.size();
  const std::uint64_t text_length = snapshot.session_info.size();
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

  std::byte* base = view_.data();
  if (text_length > 0) {
    std::byte* text = base + header.session_info_offset;
    std::memcpy(text, snapshot.session_info.data(), text_length);
    // A shorter text must not read with an older one's tail; the zero goes
    // only where the header says the text's area still has room.
    const bool area_has_room = header.session_info_length >= 0 &&
                               text_length < static_cast<std::uint64_t>(header.session_info_length);
    if (area_has_room && lies_within(header.session_info_offset, text_length + 1, size))
      text[text_length] = std::byte{0};
  }
  if (entries_length > 0) {
    std::byte* entries = base + header.variable_header_offset;
    for (const VariableHeader& entry : snapshot.variable_headers) {
      std::memcpy(entries, entry.bytes.data(), variable_header_size);
      entries += variable_header_size;
    }
  }
  if (row_length > 0) std::memcpy(base + newest.buffer_offset, snapshot.row.data(), row_length);

  // The header carries the new tick: it must not become visible before the
  // row it announces.
  std::atomic_thread_fence(std::memory_order_release);
  const MemoryHeaderBytes header_bytes = encode_memory_header(header);
  std::memcpy(base, header_bytes.data(), header_bytes.size());
}

void Emulator::stop() {
  if (!view_) return;
  view_.unmap();
  created_mapping_.close();
  opened_mapping_.close();
  data_valid_event_.close();
}

void Emulator::report_once(Problem problem) {
  if (reported_[problem]) return;
  reported_[problem] = true;
  std::cout << problem_message(problem) << std::endl;
}

}  // namespace iRacing
