// One zlib deflate or inflate stream kept for many frames: setting a stream
// up and tearing it down costs about as much as compressing a small frame,
// so each dump writer and reader holds one and resets it per frame.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vove {

// zlib-format streams at the default level, byte for byte what compress2
// with Z_DEFAULT_COMPRESSION writes.
class DeflateStream {
 public:
  // Throws std::runtime_error when zlib cannot set the stream up.
  DeflateStream();
  DeflateStream(DeflateStream&&) noexcept = default;
  DeflateStream& operator=(DeflateStream&&) noexcept = default;

  // Compresses `input` as one complete stream into `output`, which must hold
  // at least compressBound(input.size()) bytes; returns the stream's length.
  // Throws std::runtime_error when zlib fails.
  std::size_t compress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

 private:
  struct End {
    void operator()(z_stream* stream) const noexcept;
  };
  std::unique_ptr<z_stream, End> stream_;
};

class InflateStream {
 public:
  // Throws std::runtime_error when zlib cannot set the stream up.
  InflateStream();
  InflateStream(InflateStream&&) noexcept = default;
  InflateStream& operator=(InflateStream&&) noexcept = default;

  // Inflates the zlib stream in `input` into `output`, which ends with
  // exactly `declared_size` bytes: what the stream holds, then zeros when
  // it holds fewer. The output grows in pieces, never more than a few times
  // what the stream has really delivered, so a size a damaged record declares costs
  // no memory of its own. False, as zlib's uncompress reports it, when the
  // stream is damaged, cut short, needs a dictionary or holds more than
  // `declared_size` bytes; `output` is unspecified then. Its capacity is
  // kept from call to call.
  bool inflate_into(std::span<const std::uint8_t> input, std::uint32_t declared_size,
                    std::vector<std::uint8_t>& output);

 private:
  struct End {
    void operator()(z_stream* stream) const noexcept;
  };
  std::unique_ptr<z_stream, End> stream_;
};

}  // namespace vove
