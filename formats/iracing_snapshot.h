// One iRacing frame in memory, and its frame payload: a flat little-endian
// byte image with no padding between the parts.
//
//   0              112        header, byte for byte
//   112            144 * N    N variable headers (N = header's variable_count)
//   112 + 144N     8          S, u64: length of the session text carried
//   120 + 144N     S          session text, no terminator (S = 0: not carried)
//   120 + 144N + S 8          D, u64: row length (= header's buffer_length)
//   128 + 144N + S D          the data row
//
// The total is exactly 128 + 144N + S + D bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/iracing_layout.h"

namespace vove::iracing {

// Header, the two length fields.
inline constexpr std::size_t payload_fixed_size = memory_header_size + 16;

struct Snapshot {
  MemoryHeader header;
  std::vector<VariableHeader> variable_headers;  // entry 0 first
  std::string session_info;                      // empty unless this frame carries the text
  std::vector<std::uint8_t> row;

  std::uint64_t row_length() const noexcept { return row.size(); }
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// Sized once to its exact total. A snapshot that breaks the payload's
// invariants (variable_headers.size() or row.size() differing from the
// header's variable_count or buffer_length) would not parse back, so it is
// refused: std::length_error for a negative variable_count,
// std::invalid_argument otherwise.
std::vector<std::uint8_t> serialise_snapshot(const Snapshot& snapshot);

// Parses untrusted bytes, checking each length before the part it covers.
// Throws PayloadDamage for a negative variable_count, a payload that is cut
// short, and one whose row length differs from the header's buffer_length. Bytes after the row are ignored:
// a record that declares more bytes than its stream inflates to arrives
// with a zero tail, and its frame is still whole.
Snapshot parse_snapshot(std::span<const std::uint8_t> payload);

}  // namespace vove::iracing
