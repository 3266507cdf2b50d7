#include "formats/dump_reader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "common/console_texts.h"
#include "formats/dump_file_errors.h"
#include "formats/dump_format.h"

namespace vove {

namespace {

// Records of a stream whose length is unknown are read in pieces of this
// size, so memory grows only with data that is really there.
constexpr std::size_t read_chunk_size = std::size_t{1} << 20;

[[noreturn]] void throw_corrupt() {
  throw DumpInputError(DumpErrorKind::damaged, std::string(console_text::decompress_failed));
}

// Bytes left between the read position and the end of the stream, or
// nothing when the stream cannot seek (a pipe). Leaves the position as it was.
std::optional<std::uint64_t> remaining_length(std::istream& input) {
  std::streambuf* buffer = input.rdbuf();
  if (buffer == nullptr) return std::nullopt;
  const std::streampos here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here == std::streampos(-1)) return std::nullopt;
  const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
  const bool restored = buffer->pubseekpos(here, std::ios::in) == here;
  if (!restored) throw_dump_read_failed();
  if (end == std::streampos(-1)) return std::nullopt;
  if (end < here) return 0;
  return static_cast<std::uint64_t>(end - here);
}

}  // namespace

DumpReader::DumpReader(std::istream& input) : input_(input) {
  // A stream that could not be opened, or a file cut inside the header,
  // leaves what was not read zero.
  std::array<std::uint8_t, dump_header_size> bytes{};
  input_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<std::size_t>(input_.gcount());
  const ParsedDumpHeader parsed = parse_dump_header(std::span(bytes).first(got));
  if (parsed.found == DumpHeaderFound::not_a_dump) {
    throw DumpInputError(DumpErrorKind::not_a_dump, std::string(console_text::invalid_file_format));
  }
  fps_ = static_cast<std::int32_t>(parsed.header.fps);
  source_id_ = parsed.header.source_id;
}

std::vector<std::uint8_t> DumpReader::next_frame() {
  std::vector<std::uint8_t> payload;
  next_frame(payload);
  return payload;
}

void DumpReader::next_frame(FramePayload& payload) {
  payload.clear();
  std::array<std::uint8_t, frame_record_header_size> size_bytes{};
  input_.read(reinterpret_cast<char*>(size_bytes.data()), static_cast<std::streamsize>(size_bytes.size()));
  if (static_cast<std::size_t>(input_.gcount()) != size_bytes.size()) {
    // A read error leaves the sizes undefined: that is no end of file.
    if (input_.bad()) throw_dump_read_failed();
    return;
  }
  consumed(size_bytes.size());
  const FrameRecord record = decode_frame_record(size_bytes.data());

  if (!is_plausible_record(record)) throw_corrupt();

  read_record_data(record.compressed_size);
  if (!inflater_.inflate_into(std::span(compressed_).first(record.compressed_size), record.uncompressed_size, payload))
    throw_corrupt();
}

void DumpReader::seek(std::uint64_t offset) {
  input_.clear();
  input_.seekg(static_cast<std::streamoff>(offset));
  if (!input_) throw_dump_read_failed();
  length_asked_ = false;  // the tracked remainder belonged to the old position
}

bool DumpReader::may_hold(std::uint64_t size) {
  if (!length_asked_ || (remaining_ && size > *remaining_)) {
    remaining_ = remaining_length(input_);
    length_asked_ = true;
  }
  return !remaining_ || size <= *remaining_;
}

void DumpReader::consumed(std::uint64_t count) noexcept {
  if (remaining_) *remaining_ -= std::min(count, *remaining_);
}

// A file that cannot hold the data is corrupt; nothing is allocated beyond
// what the file can deliver. The buffer only grows.
void DumpReader::read_record_data(std::uint32_t size) {
  if (!may_hold(size)) throw_corrupt();
  const std::size_t step = remaining_ ? std::size_t{size} : read_chunk_size;

  std::size_t offset = 0;
  while (offset < size) {
    const std::size_t count = std::min<std::size_t>(step, size - offset);
    if (compressed_.size() < offset + count) compressed_.resize(offset + count);
    input_.read(reinterpret_cast<char*>(compressed_.data() + offset), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(input_.gcount()) != count) {
      if (input_.bad()) throw_dump_read_failed();
      throw_corrupt();
    }
    offset += count;
  }
  consumed(size);
}

}  // namespace vove
