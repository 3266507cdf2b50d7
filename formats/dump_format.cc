#include "formats/dump_format.h"

#include <algorithm>

#include "common/byte_coding.h"

namespace vove {

std::array<std::uint8_t, dump_header_size> encode_dump_header(const DumpHeader& header) noexcept {
  std::array<std::uint8_t, dump_header_size> bytes{};  // reserved words stay zero
  std::copy(dump_magic.begin(), dump_magic.end(), bytes.begin());
  coding::encode_u32(bytes.data() + 8, header.fps);
  std::copy(header.source_id.begin(), header.source_id.end(), bytes.begin() + 12);
  return bytes;
}

ParsedDumpHeader parse_dump_header(std::span<const std::uint8_t> bytes) noexcept {
  ParsedDumpHeader parsed;
  if (bytes.size() < dump_magic.size()) return parsed;
  if (!std::equal(dump_magic.begin(), dump_magic.end(), bytes.begin())) return parsed;
  // The fields come from a zero-filled copy, so that a header cut short
  // reads no further than its bytes.
  std::array<std::uint8_t, dump_header_size> whole{};
  const std::size_t present = std::min(bytes.size(), whole.size());
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(present), whole.begin());
  parsed.header.fps = coding::decode_u32(whole.data() + 8);
  std::copy(whole.begin() + 12, whole.begin() + 12 + static_cast<std::ptrdiff_t>(parsed.header.source_id.size()),
            parsed.header.source_id.begin());
  parsed.found = present == whole.size() ? DumpHeaderFound::whole : DumpHeaderFound::cut_short;
  return parsed;
}

std::array<std::uint8_t, frame_record_header_size> encode_frame_record(const FrameRecord& record) noexcept {
  std::array<std::uint8_t, frame_record_header_size> bytes{};
  coding::encode_u32(bytes.data(), record.compressed_size);
  coding::encode_u32(bytes.data() + 4, record.uncompressed_size);
  return bytes;
}

FrameRecord decode_frame_record(const std::uint8_t* bytes) noexcept {
  return FrameRecord{coding::decode_u32(bytes), coding::decode_u32(bytes + 4)};
}

bool is_plausible_record(const FrameRecord& record) noexcept {
  constexpr std::uint64_t max_inflate_ratio = 1032;
  constexpr std::uint64_t inflate_slack = 1024;
  return record.compressed_size > 0 &&
         record.uncompressed_size <= record.compressed_size * max_inflate_ratio + inflate_slack;
}

}  // namespace vove
