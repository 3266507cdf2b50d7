// What writing one recorded iRacing frame into the mapping comes to, worked
// out from the frame and from what the replay has published so far, with no
// memory touched: where the session text, the variable headers and the rows
// go, and the header with its tick counts moved on. Publishing it is a short
// step of its own (publish_frame), in the order a client needs: the header,
// which announces the frame, goes last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"

namespace vove::iracing {

// The first image of a pass: the latest row of each slot and the session
// text in force, kept from the frames before the replayed range.
struct FirstImage {
  std::array<std::optional<std::vector<std::uint8_t>>, buffer_slot_count> rows;
  std::optional<std::string> text;

  // Keeps what `snapshot` adds (the latest frame comes first); returns
  // whether the image still lacks a row of a slot in use or the text.
  bool take(Snapshot snapshot);
};

// What the replay has published, so that the ticks of a new pass continue
// above it: clients neither see time go back nor keep the text of the
// pass's end.
struct TickContinuation {
  bool published = false;
  std::int64_t highest_tick = 0;
  std::int32_t last_update = 0;
  // Added to the recorded tick counts and session_info_update.
  std::int64_t tick_offset = 0;
  std::int64_t update_offset = 0;
};

// Why a frame is skipped whole: a part of it would land outside the mapping.
enum class FrameProblem { none, row_outside, variable_headers_outside, session_text_outside };

struct RowWrite {
  std::int32_t offset = 0;
  std::span<const std::uint8_t> bytes;
};

// Refers to the snapshot and the first image it was planned from, which
// must outlive it.
struct FramePlan {
  FrameProblem problem = FrameProblem::none;  // when set, nothing is written
  // The session text at its offset, then zeros up to `text_area_end`, so no
  // older, longer text shows behind it (clients search the whole area).
  std::int32_t text_offset = 0;
  std::string_view text;
  std::uint64_t text_area_end = 0;
  std::int32_t variable_headers_offset = 0;
  std::span<const VariableHeader> variable_headers;
  // The rows of earlier frames for the slots this frame does not write (at
  // the start of a pass), then this frame's row.
  std::vector<RowWrite> rows;
  // Written last, carrying the moved-on tick counts.
  MemoryHeader header;
  // What has been published once this plan is.
  TickContinuation after;
};

// Plans `snapshot` for a mapping of `mapping_size` bytes. `pass_begins`:
// the first frame of a pass, which takes the first image's rows and text
// and, after a restart, moves every tick above those published so far.
FramePlan plan_frame(const Snapshot& snapshot, std::size_t mapping_size, bool pass_begins,
                     const FirstImage& first_image, const TickContinuation& so_far);

// Where a plan is published: the mapping and its event, or a recording fake.
class FrameTarget {
 public:
  // The header as clients see it now.
  virtual MemoryHeader live_header() = 0;
  virtual void write(std::size_t offset, std::span<const std::uint8_t> bytes) = 0;
  virtual void write_zeros(std::size_t offset, std::size_t length) = 0;
  // Makes every write before visible to another process before any after.
  virtual void release_fence() = 0;
  virtual void signal_data_valid() = 0;

 protected:
  ~FrameTarget() = default;
};

// Writes the text and the variable headers, withdraws the live slots whose
// rows are about to be rewritten, writes the rows, then the header, and
// signals the event. A plan with a problem writes nothing.
void publish_frame(const FramePlan& plan, FrameTarget& target);

}  // namespace vove::iracing
