#include "formats/iracing_variable_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/byte_coding.h"

namespace vove::iracing {

namespace {

std::string read_text(const VariableHeader& header, std::size_t offset, std::size_t capacity) {
  const auto* begin = reinterpret_cast<const char*>(header.bytes.data() + offset);
  return std::string(begin, strnlen(begin, capacity));
}

void write_text(VariableHeader& header, std::size_t offset, std::size_t capacity, std::string_view text) {
  const std::size_t length = std::min(text.size(), capacity - 1);
  std::memcpy(header.bytes.data() + offset, text.data(), length);
}

}  // namespace

std::int32_t variable_type_size(VariableType type) noexcept {
  switch (type) {
    case VariableType::character:
    case VariableType::boolean: return 1;
    case VariableType::integer:
    case VariableType::bitfield:
    case VariableType::float32: return 4;
    case VariableType::float64: return 8;
  }
  return 0;
}

std::string_view variable_type_name(VariableType type) noexcept {
  switch (type) {
    case VariableType::character: return "char";
    case VariableType::boolean: return "bool";
    case VariableType::integer: return "int";
    case VariableType::bitfield: return "bitfield";
    case VariableType::float32: return "float";
    case VariableType::float64: return "double";
  }
  return "unknown";
}

bool VariableInfo::fits_row(std::size_t row_length) const noexcept {
  const std::int32_t size = variable_type_size(type);
  if (size == 0 || count < 1) return false;
  return lies_within(row_offset, static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(size), row_length);
}

VariableInfo decode_variable_header(const VariableHeader& header) {
  const std::uint8_t* bytes = header.bytes.data();
  VariableInfo info;
  info.type = static_cast<VariableType>(coding::decode_i32(bytes + variable_type_field_offset));
  info.row_offset = coding::decode_i32(bytes + variable_offset_field_offset);
  info.count = coding::decode_i32(bytes + variable_count_field_offset);
  info.count_as_time = bytes[variable_count_as_time_offset] != 0;
  info.name = read_text(header, variable_name_offset, variable_name_capacity);
  info.description = read_text(header, variable_description_offset, variable_description_capacity);
  info.unit = read_text(header, variable_unit_offset, variable_unit_capacity);
  return info;
}

VariableHeader encode_variable_header(const VariableInfo& info) {
  VariableHeader header;
  std::uint8_t* bytes = header.bytes.data();
  coding::encode_i32(bytes + variable_type_field_offset, static_cast<std::int32_t>(info.type));
  coding::encode_i32(bytes + variable_offset_field_offset, info.row_offset);
  coding::encode_i32(bytes + variable_count_field_offset, info.count);
  bytes[variable_count_as_time_offset] = info.count_as_time ? 1 : 0;
  write_text(header, variable_name_offset, variable_name_capacity, info.name);
  write_text(header, variable_description_offset, variable_description_capacity, info.description);
  write_text(header, variable_unit_offset, variable_unit_capacity, info.unit);
  return header;
}

double read_value(std::span<const std::uint8_t> row, const VariableInfo& variable, std::int32_t index) noexcept {
  const std::uint8_t* at =
      row.data() + variable.row_offset +
      static_cast<std::size_t>(index) * static_cast<std::size_t>(variable_type_size(variable.type));
  switch (variable.type) {
    case VariableType::character: return static_cast<double>(static_cast<std::int8_t>(*at));
    case VariableType::boolean: return *at != 0 ? 1.0 : 0.0;
    case VariableType::integer: return static_cast<double>(coding::decode_i32(at));
    case VariableType::bitfield: return static_cast<double>(coding::decode_u32(at));
    case VariableType::float32: return static_cast<double>(coding::decode_f32(at));
    case VariableType::float64: return std::bit_cast<double>(coding::decode_u64(at));
  }
  return 0.0;
}

VariableTable::VariableTable(std::span<const VariableHeader> headers) {
  variables_.reserve(headers.size());
  for (const VariableHeader& header : headers) variables_.push_back(decode_variable_header(header));
}

const VariableInfo* VariableTable::find(std::string_view name) const noexcept {
  const auto found = std::find_if(variables_.begin(), variables_.end(),
                                  [&](const VariableInfo& variable) { return variable.name == name; });
  return found == variables_.end() ? nullptr : &*found;
}

}  // namespace vove::iracing
