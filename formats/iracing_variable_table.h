// What an iRacing variable header says about one telemetry variable, and
// how to read its values out of a data row. The headers come from another
// process or a file, so every field is checked before it is used.
//
// Variable header (144 bytes, little-endian):
//   0   i32   type (VariableType)
//   4   i32   offset of the value in the data row
//   8   i32   count of values (1 for a scalar)
//   12  u8    count-as-time flag, then 3 padding bytes
//   16  32    name, zero-padded
//   48  64    description, zero-padded
//   112 32    unit, zero-padded
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/iracing_layout.h"

namespace vove::iracing {

enum class VariableType : std::int32_t {
  character = 0,
  boolean = 1,
  integer = 2,
  bitfield = 3,
  float32 = 4,
  float64 = 5,
};

// Bytes of one value of `type`; 0 for a type this system does not know.
std::int32_t variable_type_size(VariableType type) noexcept;
// "char", "bool", "int", "bitfield", "float", "double"; "unknown" otherwise.
std::string_view variable_type_name(VariableType type) noexcept;

inline constexpr std::size_t variable_type_field_offset = 0;
inline constexpr std::size_t variable_offset_field_offset = 4;
inline constexpr std::size_t variable_count_field_offset = 8;
inline constexpr std::size_t variable_count_as_time_offset = 12;
inline constexpr std::size_t variable_name_offset = 16;
inline constexpr std::size_t variable_name_capacity = 32;
inline constexpr std::size_t variable_description_offset = 48;
inline constexpr std::size_t variable_description_capacity = 64;
inline constexpr std::size_t variable_unit_offset = 112;
inline constexpr std::size_t variable_unit_capacity = 32;

struct VariableInfo {
  VariableType type = VariableType::float32;
  std::int32_t row_offset = 0;
  std::int32_t count = 1;
  bool count_as_time = false;
  std::string name;  // each text ends at its first zero or its field's end
  std::string description;
  std::string unit;

  // Whether every value lies wholly inside a row of `row_length` bytes and
  // the type is known. Nothing here overflows, whatever the fields say.
  bool fits_row(std::size_t row_length) const noexcept;

  friend bool operator==(const VariableInfo&, const VariableInfo&) = default;
};

VariableInfo decode_variable_header(const VariableHeader& header);
// Texts longer than their field are cut so that a zero always ends them.
VariableHeader encode_variable_header(const VariableInfo& info);

// Value `index` of `variable` in `row`, as a double (exact for every type
// but a 64-bit float, which it is). Requires variable.fits_row(row.size())
// and 0 <= index < count.
double read_value(std::span<const std::uint8_t> row, const VariableInfo& variable, std::int32_t index) noexcept;

// The decoded variable headers of one frame, looked up by name.
class VariableTable {
 public:
  VariableTable() = default;
  explicit VariableTable(std::span<const VariableHeader> headers);

  const std::vector<VariableInfo>& variables() const noexcept { return variables_; }
  // The first variable of that name, or null.
  const VariableInfo* find(std::string_view name) const noexcept;

 private:
  std::vector<VariableInfo> variables_;
};

}  // namespace vove::iracing
