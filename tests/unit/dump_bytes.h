// Builds dump files byte by byte for the replay tests, so that each test
// can state exactly which header and records a file holds.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "formats/dump_format.h"

namespace dump_bytes {

using Bytes = std::vector<std::uint8_t>;

inline std::string header(std::int32_t fps, std::string_view source = "irac") {
  const auto bytes = encode_dump_header(DumpHeader{static_cast<std::uint32_t>(fps), make_source_id(source)});
  return std::string(bytes.begin(), bytes.end());
}

inline Bytes compress(const Bytes& payload) {
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  Bytes compressed(length);
  if (compress2(compressed.data(), &length, payload.data(), static_cast<uLong>(payload.size()), -1) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  compressed.resize(length);
  return compressed;
}

// A record with the sizes given, whatever the data.
inline std::string raw_record(std::uint32_t compressed_size, std::uint32_t uncompressed_size, const Bytes& data) {
  const auto sizes = encode_frame_record(FrameRecord{compressed_size, uncompressed_size});
  std::string bytes(sizes.begin(), sizes.end());
  bytes.append(data.begin(), data.end());
  return bytes;
}

// A record as the recorder writes it.
inline std::string record(const Bytes& payload) {
  const Bytes compressed = compress(payload);
  return raw_record(static_cast<std::uint32_t>(compressed.size()), static_cast<std::uint32_t>(payload.size()),
                    compressed);
}

// A payload of `size` bytes that differs per `seed`.
inline Bytes payload(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 5));
  return bytes;
}

}  // namespace dump_bytes
