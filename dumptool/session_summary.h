// What a lap report's summary shows from the simulator's session text:
// track and layout, the player's driver and car, the running session's type
// and the track's length. Each is asked of the text as the simulator's
// clients ask (formats/iracing_session_text.h), so a text that is not valid
// YAML gives what a client would see.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vove {

struct SessionSummary {
  bool has_text = false;
  std::string track;  // "display name (layout)"; empty: not found
  std::string car;
  std::string driver;
  std::string session_type;
  double track_length_metres = 0.0;   // 0: not found
  std::vector<std::string> problems;  // "line N: why", the first few lines no query reaches
  std::size_t unreadable_lines = 0;
};

// `session_number`: the session the rows say is running (SessionNum), if
// they say; else the text's own CurrentSessionNum.
SessionSummary summarise_session(std::string_view text, std::optional<int> session_number);

}  // namespace vove
