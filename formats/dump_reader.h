// Reads a dump file back: checks its header once, then hands out the frame
// payloads one at a time, inflated, until the file ends.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <vector>

#include "common/source_id.h"
#include "formats/frame_payload.h"
#include "formats/zlib_streams.h"

namespace vove {

class DumpReader {
 public:
  // Reads and checks the header; throws DumpInputError (not_a_dump)
  // "Invalid file format." unless the file starts with the magic. A file
  // cut inside the rest of the header is accepted; what could not be read
  // stays zero. The stream must outlive the reader.
  explicit DumpReader(std::istream& input);

  // The header's rate and source exactly as stored.
  std::int32_t fps() const noexcept { return fps_; }
  SourceId source_id() const noexcept { return source_id_; }

  // The next frame payload; empty at the end of the file (also when the
  // file ends inside a record's two sizes). Throws DumpInputError: damaged,
  // "Failed to decompress data. File is corrupted?", for a record that
  // cannot be inflated or whose sizes the file cannot hold; io when the
  // stream fails with an I/O error. A stream that inflates to
  // fewer bytes than the record declares leaves the payload's tail zero.
  // Memory grows with the data the record really holds, not with the size
  // it declares.
  std::vector<std::uint8_t> next_frame();
  // The same into `payload`, whose capacity is reused, so that reading
  // frame after frame allocates nothing once it has grown. `payload` is
  // unspecified after an exception.
  void next_frame(FramePayload& payload);

  // Moves to the record whose sizes start at `offset` from the stream's
  // start (as DumpIndex found it); the next next_frame() reads that record.
  // Throws DumpInputError (io) "Failed to read the input file." when the
  // stream cannot seek there.
  void seek(std::uint64_t offset);

 private:
  // Reads exactly `size` bytes of a record's data into compressed_; see
  // next_frame().
  void read_record_data(std::uint32_t size);
  // Whether the stream may still hold `size` bytes. The stream's length is
  // asked once and then tracked, so a frame costs no seeks; it is asked
  // again only when the tracked count falls short, as the file may have grown.
  bool may_hold(std::uint64_t size);
  void consumed(std::uint64_t count) noexcept;

  std::istream& input_;
  std::int32_t fps_ = 0;
  SourceId source_id_{};
  bool length_asked_ = false;
  std::optional<std::uint64_t> remaining_;  // empty when the stream cannot seek
  InflateStream inflater_;
  std::vector<std::uint8_t> compressed_;  // the current record's data, reused
};

}  // namespace vove
