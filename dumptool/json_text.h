// JSON text for the commands that print an object for scripts.
#pragma once

#include <string>
#include <string_view>

namespace dumptool {

// `text` as a JSON string, quotes included. Control characters are
// escaped, and bytes that are not UTF-8 (a recording's texts are not
// trusted) become U+FFFD, so the result is always valid JSON.
std::string json_string(std::string_view text);

// A finite number in its shortest exact form; null otherwise (JSON has no
// infinity).
std::string json_number(double value);

}  // namespace dumptool
