#include "formats/dump_scan.h"

#include <array>
#include <fstream>
#include <limits>

#include "formats/dump_format.h"

namespace {

// Skips `count` bytes; true when all of them were there.
bool skip(std::istream& in, std::uint64_t count) {
  constexpr auto step = static_cast<std::uint64_t>(std::numeric_limits<std::streamsize>::max());
  while (count > 0) {
    const auto chunk = static_cast<std::streamsize>(count < step ? count : step);
    in.ignore(chunk);
    if (in.gcount() != chunk) return false;
    count -= static_cast<std::uint64_t>(chunk);
  }
  return true;
}

std::uint64_t intact_length(std::istream& in) {
  if (!skip(in, dump_header_size)) return 0;
  std::uint64_t length = dump_header_size;
  std::array<std::uint8_t, frame_record_header_size> sizes{};
  for (;;) {
    in.read(reinterpret_cast<char*>(sizes.data()), static_cast<std::streamsize>(sizes.size()));
    if (in.gcount() != static_cast<std::streamsize>(sizes.size())) return length;
    const FrameRecord record = decode_frame_record(sizes.data());
    if (!skip(in, record.compressed_size)) return length;
    length += frame_record_header_size + record.compressed_size;
  }
}

}  // namespace

std::optional<std::uint64_t> complete_dump_length(std::istream& in) {
  const std::uint64_t length = intact_length(in);
  if (in.bad()) return std::nullopt;
  return length;
}

std::optional<std::uint64_t> complete_dump_length(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return complete_dump_length(in);
}
