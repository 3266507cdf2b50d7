#include "dumptool/csv_format.h"

#include <charconv>
#include <cmath>

namespace vove::dumptool {

namespace {

template <class Number>
void append_number(std::string& line, Number value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  line.append(text, result.ptr);
}

}  // namespace

void append_csv_field(std::string& line, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += field;
    return;
  }
  line += '"';
  for (const char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

void append_shortest(std::string& line, double value) { append_number(line, value); }

void append_csv_value(std::string& line, std::span<const std::uint8_t> row, const iracing::VariableInfo& variable,
                      std::int32_t index) {
  const double value = iracing::read_value(row, variable, index);
  switch (variable.type) {
    case iracing::VariableType::character:
    case iracing::VariableType::boolean:
    case iracing::VariableType::integer: append_number(line, static_cast<std::int32_t>(value)); return;
    case iracing::VariableType::bitfield: append_number(line, static_cast<std::uint32_t>(value)); return;
    case iracing::VariableType::float32:
      if (!std::isnan(value)) append_number(line, static_cast<float>(value));
      return;
    case iracing::VariableType::float64:
      if (!std::isnan(value)) append_number(line, value);
      return;
  }
}

void append_acc_value(std::string& line, const acc::Field& field, std::span<const std::uint8_t> page,
                      std::size_t column) {
  switch (field.type) {
    case acc::FieldType::int32:
      if (const auto value = acc::read_int(field, page, column)) append_number(line, *value);
      return;
    case acc::FieldType::float32:
      if (const auto value = acc::read_float(field, page, column); value && !std::isnan(*value)) {
        append_number(line, *value);
      }
      return;
    case acc::FieldType::utf16:
      if (const auto text = acc::read_text(field, page)) append_csv_field(line, *text);
      return;
  }
}

}  // namespace vove::dumptool
