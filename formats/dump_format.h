// The dump file container: one header naming the rate and the source, then
// one record per frame, each a zlib stream of one frame payload. All
// integers are unsigned 32-bit little-endian; nothing is padded.
//
//   header  : "SHMTRACE" | fps | source id (4 bytes) | 56 reserved zero bytes
//   record  : compressed_size | uncompressed_size | compressed_size bytes
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/source_id.h"

namespace vove {

inline constexpr std::string_view dump_magic = "SHMTRACE";
inline constexpr std::size_t dump_header_size = 72;
inline constexpr std::size_t dump_reserved_size = 56;
inline constexpr std::size_t frame_record_header_size = 8;

struct DumpHeader {
  std::uint32_t fps = 0;
  SourceId source_id{};
};

// The sizes that precede a record's compressed data.
struct FrameRecord {
  std::uint32_t compressed_size = 0;
  std::uint32_t uncompressed_size = 0;
};

// Whether a record's sizes can describe a zlib stream of a frame: its data
// is not empty, and deflate codes at best 258 bytes in two bits, so no
// stream inflates to more than 1032 times its size (plus a little for the
// stream's own framing). Refusing more keeps a damaged size from driving a
// huge allocation.
bool is_plausible_record(const FrameRecord& record) noexcept;

// The rates a recording may be taken at, frames per second: what dumper
// and from-ibt accept. A file read back may say anything; readers cope.
inline constexpr int lowest_recording_fps = 1;
inline constexpr int highest_recording_fps = 60;
constexpr bool is_recording_fps(int fps) noexcept {
  return fps >= lowest_recording_fps && fps <= highest_recording_fps;
}

std::array<std::uint8_t, dump_header_size> encode_dump_header(const DumpHeader& header) noexcept;

// What the first bytes of a file say about it as a dump.
enum class DumpHeaderFound {
  whole,       // the magic and every field
  cut_short,   // the magic, then the file ends inside the fields
  not_a_dump,  // too short for the magic, or another magic
};
struct ParsedDumpHeader {
  DumpHeaderFound found = DumpHeaderFound::not_a_dump;
  DumpHeader header;  // what the bytes held; fields the file lacks are zero
};
// The one parser of the header: checks the length, then the magic, then
// decodes the fields from the bytes there are. `bytes` holds what the file
// had of its first dump_header_size bytes (more is ignored). Each caller
// decides what a header cut short means to it.
ParsedDumpHeader parse_dump_header(std::span<const std::uint8_t> bytes) noexcept;
std::array<std::uint8_t, frame_record_header_size> encode_frame_record(const FrameRecord& record) noexcept;
FrameRecord decode_frame_record(const std::uint8_t* bytes) noexcept;

}  // namespace vove
