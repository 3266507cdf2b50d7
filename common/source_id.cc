#include "common/source_id.h"

namespace vove {

std::string source_id_text(const SourceId& id, SourceIdStyle style) {
  static constexpr char hex_digits[] = "0123456789abcdef";
  if (style == SourceIdStyle::as_stored) return std::string(id.begin(), id.end());
  std::string text = style == SourceIdStyle::quoted ? "\"" : "";
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    const bool printable = byte >= 0x20 && byte < 0x7f;
    if (style == SourceIdStyle::printable) {
      text += printable ? c : '?';
    } else if (printable && c != '"' && c != '\\') {
      text += c;
    } else {
      text += "\\x";
      text += hex_digits[byte >> 4];
      text += hex_digits[byte & 0xf];
    }
  }
  if (style == SourceIdStyle::quoted) text += '"';
  return text;
}

}  // namespace vove
