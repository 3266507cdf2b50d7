#include "formats/ibt_writer.h"

#include <limits>
#include <string>

namespace vove::iracing {

namespace {

constexpr std::uint64_t max_i32 = std::numeric_limits<std::int32_t>::max();

std::int32_t checked_offset(std::uint64_t value, const char* what) {
  if (value > max_i32) throw std::length_error(std::string("The .ibt file's ") + what + " would lie beyond 2 GiB");
  return static_cast<std::int32_t>(value);
}

}  // namespace

IbtWriter::IbtWriter(std::ostream& out, const MemoryHeader& header, std::span<const VariableHeader> variables,
                     std::string_view session_info, std::size_t row_length)
    : out_(out), header_(header), row_length_(row_length) {
  const std::uint64_t headers_end = ibt_variable_headers_offset + variable_header_size * variables.size();
  // The declared length covers the text alone: readers that take all of it
  // as text would choke on a zero. A zero still follows it, for readers
  // that look for one.
  const std::uint64_t text_length = session_info.size() + 1;
  header_.version = ibt_header_version;
  header_.session_info_length = checked_offset(session_info.size(), "session text");
  header_.session_info_offset = checked_offset(headers_end, "session text");
  header_.variable_count = checked_offset(variables.size(), "variable count");
  header_.variable_header_offset = static_cast<std::int32_t>(ibt_variable_headers_offset);
  header_.buffer_count = 1;
  header_.buffer_length = checked_offset(row_length, "row length");
  header_.padding = {};
  header_.buffer_slots = {};
  header_.buffer_slots[0].buffer_offset = checked_offset(headers_end + text_length, "rows");

  write_headers(IbtDiskHeader{});
  for (const VariableHeader& variable : variables) write(variable.bytes.data(), variable.bytes.size());
  write(session_info.data(), session_info.size());
  const char terminator = 0;
  write(&terminator, 1);
}

void IbtWriter::append_row(std::span<const std::uint8_t> row) {
  if (row.size() != row_length_) {
    throw std::invalid_argument("A row of " + std::to_string(row.size()) + " bytes cannot go into a file of " +
                                std::to_string(row_length_) + "-byte rows");
  }
  if (rows_written_ >= max_i32) throw std::length_error("A .ibt file holds at most 2^31 - 1 rows");
  write(row.data(), row.size());
  ++rows_written_;
}

void IbtWriter::finish(IbtDiskHeader disk, std::int32_t newest_tick) {
  disk.record_count = static_cast<std::int32_t>(rows_written_);
  header_.buffer_slots[0].tick_count = newest_tick;
  const auto end = out_.tellp();
  out_.seekp(0);
  write_headers(disk);
  out_.seekp(end);
  if (!out_) throw std::ios_base::failure("Failed to write the .ibt file's headers");
}

void IbtWriter::write_headers(const IbtDiskHeader& disk) {
  const auto header_bytes = encode_memory_header(header_);
  write(header_bytes.data(), header_bytes.size());
  const auto disk_bytes = encode_ibt_disk_header(disk);
  write(disk_bytes.data(), disk_bytes.size());
}

void IbtWriter::write(const void* bytes, std::size_t length) {
  out_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
  if (!out_) throw std::ios_base::failure("Failed to write the .ibt file");
}

}  // namespace vove::iracing
