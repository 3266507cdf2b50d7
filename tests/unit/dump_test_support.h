// Shared by the dump tests: dump bytes built by hand, streams that fail like
// a full or broken disk, and a temporary directory.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/pacing.h"
#include "formats/dump_format.h"
#include "formats/dump_reader.h"

namespace vove::dump_test {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes that zlib cannot shrink, different for each seed.
inline Bytes noise(std::size_t size, std::uint32_t seed = 1) {
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return bytes;
}

inline std::string header(std::int32_t fps, std::string_view source = "irac") {
  const auto bytes = encode_dump_header(DumpHeader{static_cast<std::uint32_t>(fps), make_source_id(source)});
  return std::string(bytes.begin(), bytes.end());
}

// A record with the sizes given, whatever the data.
inline std::string raw_record(std::uint32_t compressed_size, std::uint32_t uncompressed_size, std::string data) {
  const auto sizes = encode_frame_record(FrameRecord{compressed_size, uncompressed_size});
  return std::string(sizes.begin(), sizes.end()) + data;
}

// What zlib's compress2 at the default level makes of `payload`.
inline Bytes compress2_default(const Bytes& payload) {
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  Bytes stream(length);
  if (compress2(stream.data(), &length, payload.data(), static_cast<uLong>(payload.size()), Z_DEFAULT_COMPRESSION) !=
      Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  stream.resize(length);
  return stream;
}

// A record as the recorder writes it.
inline std::string record(const Bytes& payload) {
  const Bytes stream = compress2_default(payload);
  return raw_record(static_cast<std::uint32_t>(stream.size()), static_cast<std::uint32_t>(payload.size()),
                    std::string(stream.begin(), stream.end()));
}

// A millisecond in the nanoseconds the stepping clock takes.
inline constexpr std::int64_t ms = 1'000'000;

// A steady clock that moves `step` nanoseconds at each reading.
inline SteadyClock stepping_clock(std::int64_t step) {
  return [now = SteadyTime{}, step]() mutable { return now += std::chrono::nanoseconds{step}; };
}

// Takes `room` bytes of writes in all, then only what still fits, and says
// ENOSPC for the rest, as a full disk does.
template <class Base>
class RunsOutOfRoom : public Base {
 public:
  explicit RunsOutOfRoom(std::streamsize room) : room_(room) {}

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    const std::streamsize written = room_ > 0 ? Base::xsputn(bytes, std::min(count, room_)) : 0;
    room_ -= written;
    if (written < count) errno = ENOSPC;
    return written;
  }

 private:
  std::streamsize room_;
};

// Hands out what it was given, then fails as a broken disk does.
class FailingReads : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  int_type underflow() override { throw std::runtime_error("device error"); }
};

// A whole file's bytes; empty when it does not exist.
inline std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The number of entries in `directory`: what a test made there, and
// anything left over.
inline std::size_t files_in(const std::filesystem::path& directory) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

// Every frame of the dump file at `path`, read by the dump reader.
inline std::vector<Bytes> frames_of(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  DumpReader reader(in);
  std::vector<Bytes> frames;
  for (Bytes frame = reader.next_frame(); !frame.empty(); frame = reader.next_frame()) frames.push_back(frame);
  return frames;
}

// A fresh directory of its own, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    std::random_device random;
    do {
      path_ =
          std::filesystem::temp_directory_path() / ("vove_test_" + std::to_string(random()) + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vove::dump_test
