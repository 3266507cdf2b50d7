// Suggestions for a mistyped name: the known names that are close to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vove::dumptool {

// Up to `limit` of `candidates` that `name` may have meant, closest first:
// those that differ from it, case aside, by a few letters, or that contain
// it or are contained in it.
std::vector<std::string> close_matches(std::string_view name, const std::vector<std::string>& candidates,
                                       std::size_t limit = 5);

// The unknown names quoted and separated by commas, each followed by the
// close matches among `known`, if any: "'Sped' (close: Speed), 'Gaer'".
std::string quoted_with_close_matches(const std::vector<std::string>& unknown, const std::vector<std::string>& known);

}  // namespace vove::dumptool
