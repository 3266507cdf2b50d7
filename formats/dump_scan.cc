#include "formats/dump_scan.h"

#include <fstream>

#include "formats/dump_file_errors.h"
#include "formats/dump_index.h"

namespace vove {

std::optional<std::uint64_t> complete_dump_length(std::istream& in) {
  try {
    return DumpIndex::scan(in).intact_length();
  } catch (const DumpInputError& error) {
    if (error.kind() == DumpErrorKind::not_a_dump) return 0;  // not even a whole header
    return std::nullopt;
  }
}

std::optional<std::uint64_t> complete_dump_length(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return complete_dump_length(in);
}

}  // namespace vove
