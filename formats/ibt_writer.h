// Writes a .ibt file as a stream, laid out as the simulator lays out its
// own: headers, the variable headers at 144, the session text right after
// them, then one row per tick. Only the two headers at the front depend on
// what comes later (the row count, the times, the newest tick), so they are
// written once at the start and rewritten in place by finish().
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string_view>

#include "formats/ibt_format.h"
#include "formats/iracing_layout.h"

namespace vove::iracing {

class IbtWriter {
 public:
  // `header` gives status, tick_rate and session_info_update; the version,
  // offsets, counts and lengths are set here from `variables`, the session
  // text and `row_length`. Throws std::length_error when the layout does not
  // fit the header's 32-bit fields, std::ios_base::failure when the stream
  // fails. `out` must be seekable and outlive the writer.
  IbtWriter(std::ostream& out, const MemoryHeader& header, std::span<const VariableHeader> variables,
            std::string_view session_info, std::size_t row_length);

  // Appends one row of exactly the row length given at construction.
  void append_row(std::span<const std::uint8_t> row);
  std::uint64_t rows_written() const noexcept { return rows_written_; }

  // Rewrites the two headers: `disk` with its record count set to the rows
  // written, and the newest row's tick in buffer slot 0. The stream stays at
  // the end of the file.
  void finish(IbtDiskHeader disk, std::int32_t newest_tick);

  // The header as written (after finish(), as rewritten).
  const MemoryHeader& header() const noexcept { return header_; }

 private:
  void write(const void* bytes, std::size_t length);
  void write_headers(const IbtDiskHeader& disk);

  std::ostream& out_;
  MemoryHeader header_;
  std::size_t row_length_;
  std::uint64_t rows_written_ = 0;
};

}  // namespace vove::iracing
