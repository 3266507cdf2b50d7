#include "formats/dump_scan.h"

#include <fstream>
#include <stdexcept>

#include "formats/dump_index.h"

std::optional<std::uint64_t> complete_dump_length(std::istream& in) {
  try {
    return DumpIndex::scan(in).intact_length();
  } catch (const std::invalid_argument&) {
    return 0;  // not even a whole header
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

std::optional<std::uint64_t> complete_dump_length(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return complete_dump_length(in);
}
