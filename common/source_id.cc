#include "common/source_id.h"

std::string quoted_source_id(const SourceId& id) {
  static constexpr char hex_digits[] = "0123456789abcdef";
  std::string text = "\"";
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
      text += c;
    } else {
      text += "\\x";
      text += hex_digits[byte >> 4];
      text += hex_digits[byte & 0xf];
    }
  }
  return text + "\"";
}
