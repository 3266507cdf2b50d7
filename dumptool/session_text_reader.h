// Reads what a lap report shows from the simulator's session text: track,
// car, driver, session type and the track's length.
//
// The text is indented "Key: value" lines, with lists of "- Key: value"
// items. It is read line by line rather than by a YAML library: the
// simulator does not always write valid YAML (values are not quoted where
// YAML would need it), a library would reject the whole text over one such
// line, and the report needs only a handful of keys. Lines that cannot be
// read are passed over and named, so the page can say what it could not read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SessionTextEntry {
  std::string key;
  std::string value;      // unquoted; empty for a key that opens a block
  std::size_t item = 0;   // the innermost list item holding it, from 1; 0: none
};

struct SessionText {
  std::vector<SessionTextEntry> entries;  // in the order of the text
  std::vector<std::string> problems;      // "line N: why", at most a few
  std::size_t unreadable_lines = 0;

  // The first value of `key` anywhere, or null.
  const std::string* first(std::string_view key) const noexcept;
  // The value of `key` in the list item where `match_key` is `match_value`.
  const std::string* in_item(std::string_view match_key, std::string_view match_value,
                             std::string_view key) const noexcept;
};

SessionText read_session_text(std::string_view text);

struct SessionSummary {
  bool has_text = false;
  std::string track;         // empty: not found
  std::string car;
  std::string driver;
  std::string session_type;
  double track_length_metres = 0.0;  // 0: not found
  std::vector<std::string> problems;
  std::size_t unreadable_lines = 0;
};

// `session_number`: the session the rows say is running, if they say.
SessionSummary summarise_session(std::string_view text, std::optional<int> session_number);
