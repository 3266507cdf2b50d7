// The one JSON writer: the objects commands print for scripts, and the data
// a report page carries in a <script> element.
//
// A document is built as a tree whose objects keep their keys in the order
// they were added, then written on one line without spaces. The writing is
// ours, not the library's: our strings replace bytes that are not UTF-8 with
// an escape (the library writes the raw replacement character), and our
// numbers are in their shortest form without a forced ".0".
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace vove::dumptool {

using Json = nlohmann::ordered_json;

// Where the text goes. Inside an HTML page "<", ">" and "&" are escaped too,
// so no text can end the <script> element or open a comment in it.
enum class JsonPlace { plain, inside_html };

// `text` as a JSON string, quotes included. Control characters are
// escaped, and bytes that are not UTF-8 (a recording's texts are not
// trusted) become U+FFFD, so the result is always valid JSON.
std::string json_string(std::string_view text, JsonPlace place = JsonPlace::plain);

// A finite number in its shortest exact form; null otherwise (JSON has no
// infinity).
std::string json_number(double value);

// A number with at most `decimals` decimals, trailing zeros dropped ("-0"
// is "0"); null when not finite. Kept as text in the tree, written as is.
Json json_fixed(double value, int decimals);

// `document` on one line: strings as json_string writes them, floating
// numbers as json_number does.
std::string json_text(const Json& document, JsonPlace place = JsonPlace::plain);

}  // namespace vove::dumptool
