// The four characters that name a telemetry source kind, kept in the order
// they are stored in memory and in dump files ("irac", "accz").
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <string_view>

using SourceId = std::array<char, 4>;

constexpr SourceId make_source_id(std::string_view four) noexcept {
  return SourceId{four[0], four[1], four[2], four[3]};
}

// Printed character by character: an id is not a terminated string.
inline std::ostream& write_source_id(std::ostream& out, const SourceId& id) {
  for (char c : id) out.put(c);
  return out;
}

// For a message: in quotes, with any byte that is not a printable ASCII
// character written as \xNN, so a damaged id shows what it holds.
std::string quoted_source_id(const SourceId& id);
