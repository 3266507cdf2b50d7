#include "formats/dump_index.h"

#include <array>
#include <fstream>
#include <limits>
#include <span>

#include "common/console_texts.h"
#include "formats/dump_file_errors.h"
#include "formats/input_file.h"

namespace vove {

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

}  // namespace

DumpIndex DumpIndex::scan(std::istream& in) {
  DumpIndex index;
  std::array<std::uint8_t, dump_header_size> header{};
  in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
  if (in.bad()) throw_dump_read_failed();
  // Unlike a reader of frames, the index has the whole file before it: a
  // header cut short holds no recording.
  const ParsedDumpHeader parsed = parse_dump_header(std::span(header).first(static_cast<std::size_t>(in.gcount())));
  if (parsed.found != DumpHeaderFound::whole) {
    throw DumpInputError(DumpErrorKind::not_a_dump, std::string(console_text::invalid_file_format));
  }
  index.header_ = parsed.header;

  std::uint64_t offset = dump_header_size;
  std::array<std::uint8_t, frame_record_header_size> sizes{};
  for (;;) {
    in.read(reinterpret_cast<char*>(sizes.data()), static_cast<std::streamsize>(sizes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (in.bad()) throw_dump_read_failed();
    if (got == 0) break;  // the clean end of the file
    const auto frame = static_cast<std::uint64_t>(index.records_.size());
    if (got != sizes.size()) {
      index.damage_ = IndexDamage{frame, offset, "the file ends inside the record's sizes"};
      break;
    }
    const FrameRecord record = decode_frame_record(sizes.data());
    if (!is_plausible_record(record)) {
      index.damage_ = IndexDamage{frame, offset, "the record's sizes are impossible"};
      break;
    }
    if (!skip(in, record.compressed_size)) {
      if (in.bad()) throw_dump_read_failed();
      index.damage_ = IndexDamage{frame, offset, "the file ends inside the record's data"};
      break;
    }
    index.records_.push_back(IndexedRecord{offset, record});
    offset += frame_record_header_size + record.compressed_size;
  }
  return index;
}

DumpIndex DumpIndex::scan(const std::filesystem::path& file) {
  std::ifstream in = open_input_file(file);
  return scan(in);
}

}  // namespace vove
