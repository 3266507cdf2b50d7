#include "dumptool/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace dumptool {

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text`; 0 when
// it is not one (overlong forms, surrogates and values past U+10FFFF too).
std::size_t utf8_sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t value = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    value = lead & 0x1fu;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    value = lead & 0x0fu;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0u) != 0x80u) return 0;
    value = (value << 6) | (byte(i) & 0x3fu);
  }
  const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
  const bool surrogate = value >= 0xd800 && value <= 0xdfff;
  if (overlong || surrogate || value > 0x10ffff) return 0;
  return length;
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string result = "\"";
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = utf8_sequence_length(text);
    if (length == 0) {
      result += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    if (length == 1) {
      switch (c) {
        case '"': result += "\\\""; break;
        case '\\': result += "\\\\"; break;
        case '\n': result += "\\n"; break;
        case '\r': result += "\\r"; break;
        case '\t': result += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            static constexpr char digits[] = "0123456789abcdef";
            result += "\\u00";
            result += digits[static_cast<unsigned char>(c) >> 4];
            result += digits[static_cast<unsigned char>(c) & 0xf];
          } else {
            result += c;
          }
      }
    } else {
      result.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return result += '"';
}

std::string json_number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace dumptool
