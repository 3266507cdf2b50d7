// Which title published the "acpmf" pages: ACC and Assetto Corsa 1 use the
// same three names and say nothing in band about which game wrote them (the
// version texts overlap). What does tell them apart is the pages
// themselves: their sizes, where the system reports a section's own size,
// and the graphics layout, which parts at offset 252.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vove::acpmf {

// The pages as a recorder sees them: each page's size as created (none
// where the system will not say) and its first bytes.
struct PagesSeen {
  std::optional<std::uint64_t> graphics_size;
  std::optional<std::uint64_t> physics_size;
  std::optional<std::uint64_t> static_size;
  std::span<const std::uint8_t> graphics;
};

enum class Title { acc, ac1, conflicting };

struct Verdict {
  Title title = Title::acc;
  // For ac1 and conflicting: the signs seen, for a user ("graphics page of
  // 296 bytes; ACC's activeCars 5 at graphics offset 252").
  std::string signs;
};

// ACC unless the pages show a sign of AC1 alone: pages that show no sign of
// either read as ACC, as they always have.
//
// AC1's signs: a page smaller than any ACC layout has it (graphics below
// 1320, physics below 712, static below 688 bytes); or a live graphics page
// laid out as AC1's: a world position at 252 (three finite floats, not all
// zero, the first no small integer), flag, ideal line, pit lane and
// mandatory stop at 268, 272, 276 and 284 within their ranges, and nothing
// from 296 (where AC1's page ends) up to ACC's 1588.
// ACC's signs: a page of exactly an ACC layout's size (graphics 1320, 1556,
// 1580 or 1588; physics 800); activeCars (int32 at 252) from 1 to 60; any
// byte from 296 to 1588 of the graphics page set.
Verdict tell_title(const PagesSeen& pages);

}  // namespace vove::acpmf
