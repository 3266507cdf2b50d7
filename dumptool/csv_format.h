// Text of a CSV file as RFC 4180 has it, which spreadsheets, pandas and R
// read without options: fields separated by commas, lines ended by CRLF, a
// field quoted when it holds a comma, a quote or a line break.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/acc_fields.h"
#include "formats/iracing_variable_table.h"

namespace vove::dumptool {

inline constexpr std::string_view csv_line_end = "\r\n";

// Appends `field`, quoted and its quotes doubled when it needs it.
void append_csv_field(std::string& line, std::string_view field);

// Appends value `index` of `variable` in `row`: booleans as 0 or 1, the
// integer types as integers (a bitfield unsigned), floats in the shortest
// text that reads back to the same value of their own width. Not-a-number
// becomes an empty field, which every reader takes as a missing value.
// Requires variable.fits_row(row.size()) and 0 <= index < count.
void append_csv_value(std::string& line, std::span<const std::uint8_t> row, const iracing::VariableInfo& variable,
                      std::int32_t index);

// Appends column `column` of an ACC `field` read from `page`: integers as
// integers, floats as above (infinities as inf and -inf), a text as its
// UTF-8 text; an empty field when the page does not hold the field.
void append_acc_value(std::string& line, const acc::Field& field, std::span<const std::uint8_t> page,
                      std::size_t column);

// Appends `value` in its shortest exact form.
void append_shortest(std::string& line, double value);

}  // namespace vove::dumptool
