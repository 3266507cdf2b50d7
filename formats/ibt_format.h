// The simulator's own telemetry disk file (.ibt). Little-endian throughout:
//
//   0    112        the memory header, as in live memory; buffer_count 1,
//                   slot 0's buffer_offset is where the rows begin
//   112  32         disk sub-header (below)
//   then            variable headers (144 bytes each) at variable_header_offset,
//                   the session text at session_info_offset (session_info_length
//                   bytes, up to the first zero within them), and record_count rows
//                   of buffer_length bytes each, oldest first
//
//   disk sub-header: 0 i64 start date (seconds since the Unix epoch)
//                    8 f64 start time, 16 f64 end time (seconds of SessionTime)
//                    24 i32 lap count, 28 i32 record count
//
// The simulator lays the parts out in that order without gaps; a reader
// goes by the offsets, which a file written elsewhere may place otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "formats/iracing_layout.h"

namespace vove::iracing {

inline constexpr std::size_t ibt_disk_header_offset = memory_header_size;
inline constexpr std::size_t ibt_disk_header_size = 32;
// Where the simulator puts the first variable header.
inline constexpr std::size_t ibt_variable_headers_offset = ibt_disk_header_offset + ibt_disk_header_size;
inline constexpr std::int32_t ibt_header_version = 2;

// What a file may declare before it is taken for damaged: far above any
// real file (a few hundred variables, rows of a few KiB, a session text of
// some tens of KiB), and low enough that nothing a hostile file says can
// make a reader allocate more than a few MiB at once.
inline constexpr std::int32_t ibt_max_variable_count = 65536;
inline constexpr std::int32_t ibt_max_row_length = 16 * 1024 * 1024;
inline constexpr std::int32_t ibt_max_session_info_length = 16 * 1024 * 1024;

struct IbtDiskHeader {
  std::int64_t start_date = 0;
  double start_time = 0.0;
  double end_time = 0.0;
  std::int32_t lap_count = 0;
  std::int32_t record_count = 0;

  friend bool operator==(const IbtDiskHeader&, const IbtDiskHeader&) = default;
};

using IbtDiskHeaderBytes = std::array<std::uint8_t, ibt_disk_header_size>;

IbtDiskHeader decode_ibt_disk_header(std::span<const std::uint8_t, ibt_disk_header_size> bytes) noexcept;
IbtDiskHeaderBytes encode_ibt_disk_header(const IbtDiskHeader& header) noexcept;

// A file that is no .ibt, or whose fields cannot be what they say; the
// message says which field and why, in the file's own terms.
class IbtFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vove::iracing
