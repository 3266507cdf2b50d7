#include "formats/zlib_streams.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace vove {

namespace {

// The first piece of output and the least a piece grows by; later pieces
// match what has arrived, so the output is at most about twice the real data.
constexpr std::size_t first_output_piece = std::size_t{64} << 10;

[[noreturn]] void throw_zlib_failure(const char* what, int result) {
  throw std::runtime_error(std::string(what) + ": " + zError(result));
}

}  // namespace

void DeflateStream::End::operator()(z_stream* stream) const noexcept {
  deflateEnd(stream);
  std::default_delete<z_stream>()(stream);  // made by make_unique in the constructor
}

DeflateStream::DeflateStream() {
  auto stream = std::make_unique<z_stream>();
  // compress2's own parameters: zlib format, 32 KiB window, memory level 8.
  const int result = deflateInit(stream.get(), Z_DEFAULT_COMPRESSION);
  if (result != Z_OK) throw_zlib_failure("Failed to set up frame compression", result);
  stream_.reset(stream.release());
}

std::size_t DeflateStream::compress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  z_stream& stream = *stream_;
  // A reset stream writes exactly what a new one would.
  int result = deflateReset(&stream);
  if (result != Z_OK) throw_zlib_failure("Failed to compress a frame", result);
  if (input.size() > std::numeric_limits<uInt>::max() || output.size() > std::numeric_limits<uInt>::max())
    throw std::length_error("Frame too large to compress in one piece");
  stream.next_in = const_cast<Bytef*>(input.data());  // zlib never writes through next_in
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = output.data();
  stream.avail_out = static_cast<uInt>(output.size());
  result = deflate(&stream, Z_FINISH);
  if (result != Z_STREAM_END) throw_zlib_failure("Failed to compress a frame", result == Z_OK ? Z_BUF_ERROR : result);
  return output.size() - stream.avail_out;
}

void InflateStream::End::operator()(z_stream* stream) const noexcept {
  inflateEnd(stream);
  std::default_delete<z_stream>()(stream);  // made by make_unique in the constructor
}

InflateStream::InflateStream() {
  auto stream = std::make_unique<z_stream>();
  const int result = inflateInit(stream.get());
  if (result != Z_OK) throw_zlib_failure("Failed to set up frame decompression", result);
  stream_.reset(stream.release());
}

bool InflateStream::inflate_into(std::span<const std::uint8_t> input, std::uint32_t declared_size,
                                 std::vector<std::uint8_t>& output) {
  z_stream& stream = *stream_;
  if (inflateReset(&stream) != Z_OK) return false;
  if (input.size() > std::numeric_limits<uInt>::max()) return false;
  stream.next_in = const_cast<Bytef*>(input.data());  // zlib never writes through next_in
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = nullptr;
  stream.avail_out = 0;

  // A declared size of 0 still lets one byte through, as uncompress does.
  std::uint8_t scratch = 0;
  output.clear();
  int result = Z_OK;
  while (result == Z_OK) {
    if (stream.avail_out == 0) {
      const std::size_t produced = output.size();
      if (declared_size == 0 && stream.total_out == 0) {
        stream.next_out = &scratch;
        stream.avail_out = 1;
      } else if (produced < declared_size) {
        const std::size_t piece = std::max(first_output_piece, produced);
        output.resize(std::min<std::size_t>(declared_size, produced + piece));
        stream.next_out = output.data() + produced;
        stream.avail_out = static_cast<uInt>(output.size() - produced);
      }
      // Otherwise the output is full: inflate may still finish the stream
      // (its end and check value need no room); more data is an error.
    }
    result = inflate(&stream, Z_NO_FLUSH);
  }
  if (result != Z_STREAM_END) return false;
  // A stream that ends early leaves the rest of the declared size zero.
  output.resize(declared_size);
  return true;
}

}  // namespace vove
