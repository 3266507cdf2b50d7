// The iRacing session text as the simulator's clients read it.
//
// Clients do not parse the text as YAML: the SDK scans it line by line for
// a query path ("DriverInfo:Drivers:CarIdx:{7}UserName:"), and the
// simulator writes it for that scan, not for YAML (values are not quoted,
// may hold colons, '#', a leading '-'). So a query here answers exactly as
// the SDK's scan does on the same bytes, quirks included, and anything that
// shows values from the text asks through it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vove::iracing {

// The text a client sees in `area`: up to its first zero byte, or all of it.
std::string_view session_text_in(std::string_view area) noexcept;

// The value the SDK's scan returns for `path` in `text`, or nothing when it
// finds none. The value is raw: from the first character after the key's
// colon and its spaces to the end of the line, quotes and trailing spaces
// kept; an empty value is found and empty.
//
// The scan, as the SDK does it:
// - the text ends at its first zero byte; CR and LF end lines; a last line
//   without a line end is never read;
// - a line's depth counts its leading spaces and dashes; its key runs from
//   there up to and including the first colon (or to the line's end);
// - a line whose key is a prefix of what is left of the path consumes it;
//   when "{text}" follows in the path, the line's value must be exactly
//   `text` (else the line does not match). A `{` without its `}` matches
//   nothing;
// - once something has matched at depth d, a later line of depth below d
//   ends the scan: not found;
// - the line that consumes the whole path gives the value.
// Work is linear in the text's length; nothing is allocated.
std::optional<std::string_view> query_session_text(std::string_view text, std::string_view path) noexcept;

// Lines a query cannot reach as they are written, for telling a user why a
// value was not found: no "key:", a key that starts with a tab, a last line
// without a line end.
struct SessionTextProblems {
  std::size_t lines = 0;           // how many lines
  std::vector<std::string> first;  // "line N: why", the first few
};
SessionTextProblems check_session_text(std::string_view text);

}  // namespace vove::iracing
