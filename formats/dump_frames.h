// A dump file opened for random access to its frames: indexed once, then
// any frame inflated on demand. Reading frames in order costs no seek, so a
// replay, a loop and an export all read each record once per pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>

#include "formats/dump_file_errors.h"
#include "formats/dump_index.h"
#include "formats/dump_reader.h"
#include "formats/frame_payload.h"

namespace vove {

class DumpFrames {
 public:
  // Opens `path` as open_input_file() does and indexes it. Throws
  // DumpInputError: io naming the file and the system's reason when it
  // cannot be opened, not_a_dump "Invalid file format." when it is no dump,
  // io "Failed to read the input file." on an I/O error.
  explicit DumpFrames(const std::filesystem::path& path);
  // The same for a file its caller opened.
  explicit DumpFrames(std::ifstream stream);

  const DumpIndex& index() const noexcept { return index_; }
  const DumpHeader& header() const noexcept { return index_.header(); }
  // Frames that can be read: every record before the first damaged one.
  std::size_t size() const noexcept { return index_.records().size(); }

  // Seconds from the start of the recording at which frame `frame` was
  // taken (frame / rate); 0 for a rate of 0.
  double seconds_of(std::size_t frame) const noexcept;
  // The first frame taken at or after `seconds`; size() when there is none.
  std::size_t frame_at(double seconds) const noexcept;

  // Inflates frame `frame` (< size()). Throws as DumpReader::next_frame does
  // for a record that does not inflate.
  FramePayload read(std::size_t frame);
  // The same into `payload`, whose capacity is reused from frame to frame.
  void read(std::size_t frame, FramePayload& payload);
  // The same, but a damaged record is an answer, not an exception: false,
  // with `payload` unspecified. Any other failure (I/O) still throws.
  bool read_if_intact(std::size_t frame, FramePayload& payload);

 private:
  std::ifstream stream_;
  DumpIndex index_;
  std::unique_ptr<DumpReader> reader_;  // over stream_, which never moves
  std::size_t next_ = 0;                // the frame the reader stands before
};

}  // namespace vove
