// Reads a .ibt file as a stream: everything before the rows at once, then
// one row at a time, so memory stays flat whatever the file's length.
//
// The file comes from anywhere, so every field is bounded before it is
// used: offsets and lengths must lie within the file, counts and lengths
// below the limits of ibt_format.h, and the rows handed out are the
// declared record count capped by what the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "formats/ibt_format.h"
#include "formats/iracing_layout.h"

namespace vove::iracing {

class IbtReader {
 public:
  // Reads and checks the header, the disk sub-header, the variable headers
  // and the session text. Throws IbtFormatError saying what is wrong. The
  // stream must be seekable and outlive the reader.
  explicit IbtReader(std::istream& input);

  const MemoryHeader& header() const noexcept { return header_; }
  const IbtDiskHeader& disk_header() const noexcept { return disk_header_; }
  const std::vector<VariableHeader>& variable_headers() const noexcept { return variable_headers_; }
  // Up to its first zero byte within session_info_length.
  const std::string& session_info() const noexcept { return session_info_; }
  std::size_t row_length() const noexcept { return row_length_; }

  // Rows that can be read: the record count, or fewer when the file ends
  // before the last of them.
  std::uint64_t row_count() const noexcept { return row_count_; }
  bool cut_short() const noexcept { return row_count_ < static_cast<std::uint64_t>(disk_header_.record_count); }

  // Reads row `index` (< row_count()) into `row`, resized to row_length().
  // Rows read in order cost no seek. Throws IbtFormatError when the file
  // can no longer be read there (it shrank, or the device failed).
  void read_row(std::uint64_t index, std::vector<std::uint8_t>& row);

 private:
  void read_at(std::uint64_t offset, std::uint8_t* destination, std::size_t length);

  std::istream& input_;
  std::uint64_t file_size_ = 0;
  MemoryHeader header_;
  IbtDiskHeader disk_header_;
  std::vector<VariableHeader> variable_headers_;
  std::string session_info_;
  std::size_t row_length_ = 0;
  std::uint64_t rows_offset_ = 0;
  std::uint64_t row_count_ = 0;
  std::uint64_t position_ = 0;  // where the stream stands; a read elsewhere seeks first
};

}  // namespace vove::iracing
