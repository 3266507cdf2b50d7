#include "formats/dump_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>

#include "formats/dump_format.h"

namespace vove {

namespace {

constexpr std::uint64_t max_u32 = std::numeric_limits<std::uint32_t>::max();

// Whether `length` bytes can be written as one record (both sizes are
// 32-bit) and compressed by zlib on this platform (uLong may be 32-bit).
bool fits_a_record(std::size_t length) noexcept {
  if (length > max_u32 || length > std::numeric_limits<uLong>::max()) return false;
  const std::uint64_t bound = compressBound(static_cast<uLong>(length));
  return bound >= length && bound <= max_u32;
}

}  // namespace

DumpWriter::DumpWriter(std::ostream& out, std::uint32_t fps, SourceId source_id) : out_(out) {
  const auto header = encode_dump_header(DumpHeader{fps, source_id});
  errno = 0;
  out_.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
  if (!out_) throw DumpWriteError("Failed to write the dump header", errno);
}

void DumpWriter::append_frame(const FramePayload& payload) {
  if (payload.empty()) throw std::invalid_argument("An empty frame cannot be recorded");
  if (!fits_a_record(payload.size())) {
    throw std::length_error("Frame payload of " + std::to_string(payload.size()) +
                            " bytes is too large for a dump record");
  }
  const auto length = static_cast<uLong>(payload.size());
  const uLong bound = compressBound(length);

  // Sizes and data in one buffer, so the record reaches the stream in one
  // write: an unbuffered file then never holds part of a record unless that
  // very write failed. The buffer only grows, and is never zero-filled.
  const std::size_t record_capacity = frame_record_header_size + bound;
  if (record_.size() < record_capacity) record_.resize(record_capacity);
  // The buffer is about to change: until it holds this record there is
  // nothing to repeat.
  record_length_ = 0;
  // On failure nothing is written: a record that does not inflate to its
  // size would make the whole file unreadable.
  const std::size_t compressed_length =
      deflater_.compress(payload, std::span(record_).subspan(frame_record_header_size, bound));

  const auto sizes = encode_frame_record(
      FrameRecord{static_cast<std::uint32_t>(compressed_length), static_cast<std::uint32_t>(length)});
  std::copy(sizes.begin(), sizes.end(), record_.begin());
  record_length_ = frame_record_header_size + compressed_length;
  write_record();
}

void DumpWriter::append_last_again() {
  if (record_length_ == 0) throw std::logic_error("There is no frame record to repeat yet");
  write_record();
  ++repeated_records_;
}

void DumpWriter::append_repeat(const FramePayload& payload) {
  append_frame(payload);
  ++repeated_records_;
}

void DumpWriter::write_record() {
  // The stream keeps no reason of its own; the system call's is in errno.
  errno = 0;
  out_.write(reinterpret_cast<const char*>(record_.data()), static_cast<std::streamsize>(record_length_));
  if (!out_) throw DumpWriteError("Failed to write a frame record", errno);
  ++records_;
}

}  // namespace vove
