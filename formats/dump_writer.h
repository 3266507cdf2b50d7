// Writes one dump file: the header at construction, then one compressed
// record per frame payload.
#pragma once

#include <cstdint>
#include <ios>
#include <ostream>
#include <string>
#include <vector>

#include "common/source_id.h"
#include "formats/dump_file_errors.h"
#include "formats/frame_payload.h"
#include "formats/zlib_streams.h"

namespace vove {

// The stream refused a write (full disk, file size limit, ...). What already
// reached the stream before the failed write is intact; the failed write may
// have left part of a record behind, which the file's owner cuts off.
// The writer has a stream, not a file: file() is empty, kind() io.
class DumpWriteError : public std::ios_base::failure, public DumpErrorFacts {
 public:
  // `system_error`: the errno value the failed write left, 0 when the
  // stream failed without a system call at fault.
  explicit DumpWriteError(const std::string& what_failed, int system_error = 0)
      : std::ios_base::failure(what_failed, std::io_errc::stream),
        DumpErrorFacts(DumpErrorKind::io, {},
                       system_error == 0 ? std::error_code() : std::error_code(system_error, std::generic_category())),
        system_error_(system_error) {}

  int system_error() const noexcept { return system_error_; }

 private:
  int system_error_;
};

class DumpWriter {
 public:
  // Writes the header at once; throws DumpWriteError when the stream fails
  // and std::runtime_error when zlib cannot set up its stream. The writer
  // neither opens, flushes nor closes `out`.
  DumpWriter(std::ostream& out, std::uint32_t fps, SourceId source_id);

  // Appends one record holding `payload` compressed with zlib's default
  // level. The payload must not be empty. Throws DumpWriteError when the
  // stream fails, std::runtime_error when zlib fails (nothing is written
  // then) and std::length_error for a payload the format cannot hold.
  // The bytes are those of zlib's compress2; one stream and one buffer serve
  // every frame, so a frame allocates nothing once the buffer has grown.
  void append_frame(const FramePayload& payload);

  // Appends the last record again, byte for byte what append_frame would
  // write for the same payload, without compressing it again or allocating.
  // Throws std::logic_error before the first record and DumpWriteError
  // when the stream fails.
  void append_last_again();

  // Appends `payload` as append_frame does, counted as a repeat: a frame
  // again, recorded as it is recorded when nothing changed.
  void append_repeat(const FramePayload& payload);

  // Records written so far, and how many of them by append_last_again or
  // append_repeat.
  std::uint64_t records() const noexcept { return records_; }
  std::uint64_t repeated_records() const noexcept { return repeated_records_; }

 private:
  void write_record();

  std::ostream& out_;
  DeflateStream deflater_;
  std::vector<std::uint8_t> record_;  // sizes and data of the last record
  std::size_t record_length_ = 0;     // bytes of record_ it takes; 0 before the first
  std::uint64_t records_ = 0;
  std::uint64_t repeated_records_ = 0;
};

}  // namespace vove
