#include "dumptool/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace vove::dumptool {

namespace {

// Marks the byte strings in a tree that hold a number already written out
// (json_fixed); a document holds no other byte strings.
constexpr std::uint64_t number_text_subtype = 0x4e;

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

void append_string(std::string& out, std::string_view text, JsonPlace place) {
  static constexpr char digits[] = "0123456789abcdef";
  out += '"';
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = utf8_sequence_length(text);
    if (length == 0) {
      out += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    const bool markup = c == '<' || c == '>' || c == '&';
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20 || (markup && place == JsonPlace::inside_html)) {
          out += "\\u00";
          out += digits[byte >> 4];
          out += digits[byte & 0xf];
        } else {
          out += c;
        }
    }
    text.remove_prefix(1);
  }
  out += '"';
}

template <class Integer>
void append_integer(std::string& out, Integer value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void append_value(std::string& out, const Json& value, JsonPlace place) {
  switch (value.type()) {
    case Json::value_t::null: out += "null"; return;
    case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; return;
    case Json::value_t::number_integer: append_integer(out, value.get<std::int64_t>()); return;
    case Json::value_t::number_unsigned: append_integer(out, value.get<std::uint64_t>()); return;
    case Json::value_t::number_float: out += json_number(value.get<double>()); return;
    case Json::value_t::string: append_string(out, value.get_ref<const std::string&>(), place); return;
    case Json::value_t::binary: {
      const Json::binary_t& bytes = value.get_binary();
      if (!bytes.has_subtype() || bytes.subtype() != number_text_subtype) break;
      out.append(bytes.begin(), bytes.end());
      return;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& element : value) {
        if (!first) out += ',';
        first = false;
        append_value(out, element, place);
      }
      out += ']';
      return;
    }
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, element] : value.items()) {
        if (!first) out += ',';
        first = false;
        append_string(out, key, place);
        out += ':';
        append_value(out, element, place);
      }
      out += '}';
      return;
    }
    case Json::value_t::discarded: break;
  }
  throw std::logic_error("a JSON document holds a value that has no text");
}

}  // namespace

std::string json_string(std::string_view text, JsonPlace place) {
  std::string result;
  append_string(result, text, place);
  return result;
}

std::string json_number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

Json json_fixed(double value, int decimals) {
  if (!std::isfinite(value)) return nullptr;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string_view v(text);
  if (v.find('.') != std::string_view::npos) {
    while (v.back() == '0') v.remove_suffix(1);
    if (v.back() == '.') v.remove_suffix(1);
  }
  if (v == "-0") v = "0";
  return Json::binary(Json::binary_t::container_type(v.begin(), v.end()), number_text_subtype);
}

std::string json_text(const Json& document, JsonPlace place) {
  std::string out;
  append_value(out, document, place);
  return out;
}

}  // namespace vove::dumptool
