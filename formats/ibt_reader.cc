#include "formats/ibt_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vove::iracing {

namespace {

[[noreturn]] void refuse(const std::string& reason) { throw IbtFormatError(reason); }

std::string number(std::int64_t value) { return std::to_string(value); }

std::uint64_t stream_length(std::istream& input) {
  input.clear();
  input.seekg(0, std::ios::end);
  const auto end = input.tellg();
  if (!input || end < 0) refuse("the file cannot be read: its length cannot be found");
  return static_cast<std::uint64_t>(end);
}

}  // namespace

IbtReader::IbtReader(std::istream& input) : input_(input), file_size_(stream_length(input)) {
  position_ = file_size_;
  if (file_size_ < ibt_variable_headers_offset) {
    refuse("the file is too short to be a telemetry file: " + number(static_cast<std::int64_t>(file_size_)) +
           " bytes, less than its " + number(ibt_variable_headers_offset) + "-byte headers");
  }
  std::array<std::uint8_t, ibt_variable_headers_offset> headers{};
  read_at(0, headers.data(), headers.size());
  header_ = decode_memory_header(std::span<const std::uint8_t, memory_header_size>(headers.data(), memory_header_size));
  disk_header_ = decode_ibt_disk_header(std::span<const std::uint8_t, ibt_disk_header_size>(
      headers.data() + ibt_disk_header_offset, ibt_disk_header_size));

  const std::int32_t count = header_.variable_count;
  if (count < 0 || count > ibt_max_variable_count) {
    refuse("the header declares " + number(count) + " variables (at most " + number(ibt_max_variable_count) +
           " are accepted)");
  }
  const std::uint64_t headers_length = variable_header_size * static_cast<std::uint64_t>(count);
  if (!lies_within(header_.variable_header_offset, headers_length, file_size_)) {
    refuse("the variable headers (" + number(count) + " at offset " + number(header_.variable_header_offset) +
           ") lie outside the file");
  }
  if (header_.buffer_length <= 0 || header_.buffer_length > ibt_max_row_length) {
    refuse("the header declares a row length of " + number(header_.buffer_length) + " bytes (1 to " +
           number(ibt_max_row_length) + " are accepted)");
  }
  if (header_.buffer_count < 1 || header_.buffer_count > buffer_slot_count) {
    refuse("the header declares " + number(header_.buffer_count) + " row buffers (1 to " + number(buffer_slot_count) +
           " are accepted)");
  }
  const std::int32_t text_length = header_.session_info_length;
  if (text_length < 0 || text_length > ibt_max_session_info_length) {
    refuse("the header declares a session text of " + number(text_length) + " bytes (at most " +
           number(ibt_max_session_info_length) + " are accepted)");
  }
  if (!lies_within(header_.session_info_offset, static_cast<std::uint64_t>(text_length), file_size_)) {
    refuse("the session text (" + number(text_length) + " bytes at offset " + number(header_.session_info_offset) +
           ") lies outside the file");
  }
  const std::int32_t rows_offset = header_.buffer_slots[0].buffer_offset;
  if (rows_offset < 0 || static_cast<std::uint64_t>(rows_offset) > file_size_) {
    refuse("the rows begin at offset " + number(rows_offset) + ", outside the file");
  }
  if (disk_header_.record_count < 0) {
    refuse("the disk header declares " + number(disk_header_.record_count) + " rows");
  }

  // Every length is now bounded by the file's size, so these allocations are too.
  variable_headers_.resize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < variable_headers_.size(); ++i) {
    read_at(static_cast<std::uint64_t>(header_.variable_header_offset) + variable_header_size * i,
            variable_headers_[i].bytes.data(), variable_header_size);
  }
  std::vector<std::uint8_t> text(static_cast<std::size_t>(text_length));
  read_at(static_cast<std::uint64_t>(header_.session_info_offset), text.data(), text.size());
  const auto end_of_text = std::find(text.begin(), text.end(), std::uint8_t{0});
  session_info_.assign(text.begin(), end_of_text);

  row_length_ = static_cast<std::size_t>(header_.buffer_length);
  rows_offset_ = static_cast<std::uint64_t>(rows_offset);
  const std::uint64_t rows_in_file = (file_size_ - rows_offset_) / row_length_;
  row_count_ = std::min(static_cast<std::uint64_t>(disk_header_.record_count), rows_in_file);
}

void IbtReader::read_row(std::uint64_t index, std::vector<std::uint8_t>& row) {
  if (index >= row_count_) {
    throw std::out_of_range("no row " + std::to_string(index) + " in a file of " + std::to_string(row_count_));
  }
  row.resize(row_length_);
  read_at(rows_offset_ + index * row_length_, row.data(), row_length_);
}

void IbtReader::read_at(std::uint64_t offset, std::uint8_t* destination, std::size_t length) {
  if (offset != position_) {
    input_.clear();
    input_.seekg(static_cast<std::streamoff>(offset));
  }
  input_.read(reinterpret_cast<char*>(destination), static_cast<std::streamsize>(length));
  if (!input_ || input_.gcount() != static_cast<std::streamsize>(length)) {
    position_ = std::numeric_limits<std::uint64_t>::max();  // unknown: seek next time
    refuse("the file cannot be read at offset " + std::to_string(offset) + " (it ended early or the device failed)");
  }
  position_ = offset + length;
}

}  // namespace vove::iracing
