// The four characters that name a telemetry source kind, kept in the order
// they are stored in memory and in dump files ("irac", "accz").
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vove {

using SourceId = std::array<char, 4>;

constexpr SourceId make_source_id(std::string_view four) noexcept {
  return SourceId{four[0], four[1], four[2], four[3]};
}

// How an id is put into text. An id is not a terminated string: all four
// characters are always written.
enum class SourceIdStyle {
  // The characters as they are, for the ids this build knows.
  as_stored,
  // Any character that is not printable ASCII as '?', for a line that must
  // not carry control characters from a file.
  printable,
  // In double quotes, any byte that is not printable ASCII (and a quote or
  // backslash) as \xNN, so a message shows what a damaged id holds.
  quoted,
};

std::string source_id_text(const SourceId& id, SourceIdStyle style);

}  // namespace vove
