// Copies parts of a dump byte for byte as the index found them, so that a
// command that keeps a record unchanged writes exactly what was recorded.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>

#include "formats/dump_index.h"

namespace vove::dumptool {

class RecordCopier {
 public:
  // Opens `input` a second time, beside the reader that inflates it.
  explicit RecordCopier(const std::filesystem::path& input);

  // The header as it lies in the file, reserved bytes included.
  void copy_header(std::ostream& out);
  // One record: its two sizes and its compressed data.
  void copy(const IndexedRecord& record, std::ostream& out);

 private:
  void copy_range(std::uint64_t offset, std::uint64_t length, std::ostream& out);

  std::ifstream input_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace vove::dumptool
