// Where each record of a dump file lies, found from the record sizes alone
// without inflating anything, so that a replay can seek and loop and a tool
// can report damage before it reads a single frame.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "formats/dump_format.h"

namespace vove {

struct IndexedRecord {
  std::uint64_t offset = 0;  // of the record's two sizes, from the file's start
  FrameRecord sizes;

  // Where the compressed data begins and ends.
  std::uint64_t data_offset() const noexcept { return offset + frame_record_header_size; }
  std::uint64_t end_offset() const noexcept { return data_offset() + sizes.compressed_size; }
};

// The first record that could not be indexed: the file ends inside it, or
// its sizes are impossible. Everything before it is intact as far as sizes
// can tell.
struct IndexDamage {
  std::uint64_t frame = 0;   // zero-based number of the damaged record
  std::uint64_t offset = 0;  // of its two sizes
  std::string reason;
};

class DumpIndex {
 public:
  // Scans `in` from its start. Throws DumpInputError: not_a_dump,
  // "Invalid file format.", when it does not start with a whole dump
  // header; io, "Failed to read the input file.", on an I/O error.
  static DumpIndex scan(std::istream& in);
  // The same for a file, opened as open_input_file() opens it.
  static DumpIndex scan(const std::filesystem::path& file);

  const DumpHeader& header() const noexcept { return header_; }
  const std::vector<IndexedRecord>& records() const noexcept { return records_; }
  // The first damaged record, if any; the scan stops there.
  const std::optional<IndexDamage>& damage() const noexcept { return damage_; }
  // The length of the file's intact part: the header and the indexed records.
  std::uint64_t intact_length() const noexcept {
    return records_.empty() ? dump_header_size : records_.back().end_offset();
  }

 private:
  DumpHeader header_;
  std::vector<IndexedRecord> records_;
  std::optional<IndexDamage> damage_;
};

}  // namespace vove
