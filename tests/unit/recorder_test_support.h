// Stand-ins for what the recorder talks to: scripted sources, a clock that
// moves on each reading, a sleeper that records its calls and can request a
// stop, streams that run out of room like a full disk, and a reader that
// takes a written dump apart again.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_coding.h"
#include "common/pacing.h"
#include "dumper/connector.h"
#include "formats/dump_format.h"

namespace recorder_test {

// A source that follows a script and logs every call as "<id> <call>".
class ScriptedConnector : public Connector {
 public:
  ScriptedConnector(std::string_view id, std::vector<std::string>& log) : id_(make_source_id(id)), log_(log) {}

  std::deque<bool> connect_results;    // popped per connect(); false when used up
  std::deque<FramePayload> frames;     // popped per read_frame(); empty when used up
  std::function<void()> when_connects_used_up;  // run by each connect() past the script

  bool connect(std::int32_t timeout_ms) override {
    log(" connect(" + std::to_string(timeout_ms) + ")");
    if (connect_results.empty()) {
      if (when_connects_used_up) when_connects_used_up();
      return false;
    }
    const bool result = connect_results.front();
    connect_results.pop_front();
    return result;
  }
  void disconnect() override { log(" disconnect"); }
  FramePayload read_frame(std::int32_t timeout_ms) override {
    log(" read_frame(" + std::to_string(timeout_ms) + ")");
    if (frames.empty()) return {};
    FramePayload frame = std::move(frames.front());
    frames.pop_front();
    return frame;
  }
  SourceId source_id() const override { return id_; }

 private:
  void log(const std::string& call) { log_.push_back(std::string(id_.begin(), id_.end()) + call); }

  SourceId id_;
  std::vector<std::string>& log_;
};

// A steady clock that moves `step` nanoseconds each time it is read.
inline SteadyClock stepping_clock(std::int64_t step) {
  auto now = std::make_shared<std::int64_t>(0);
  return [now, step] { return *now += step; };
}

// Records each sleep; requests a stop through `stop_flag` at the
// `stop_at`-th call (never when 0).
struct SleepLog {
  std::vector<std::int32_t> calls;
  std::atomic<bool>* stop_flag = nullptr;
  std::size_t stop_at = 0;
};

inline Sleeper recording_sleeper(SleepLog& sleeps) {
  return [&sleeps](std::int32_t milliseconds) {
    sleeps.calls.push_back(milliseconds);
    if (sleeps.stop_flag != nullptr && sleeps.calls.size() == sleeps.stop_at) *sleeps.stop_flag = true;
  };
}

// Accepts `room` bytes in all, then takes only what still fits, as a disk
// that fills up does.
template <class Base>
class RunsOutOfRoom : public Base {
 public:
  explicit RunsOutOfRoom(std::streamsize room) : room_(room) {}

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    const std::streamsize accepted = std::min(count, room_);
    const std::streamsize written = accepted > 0 ? Base::xsputn(bytes, accepted) : 0;
    room_ -= written;
    return written;
  }
  typename Base::int_type overflow(typename Base::int_type c) override {
    if (room_ <= 0) return Base::traits_type::eof();
    --room_;
    return Base::overflow(c);
  }

 private:
  std::streamsize room_;
};

using FullDiskString = RunsOutOfRoom<std::stringbuf>;
using FullDiskFile = RunsOutOfRoom<std::filebuf>;

// `size` bytes that zlib cannot shrink.
inline FramePayload noise(std::size_t size, std::uint32_t seed = 1) {
  FramePayload bytes(size);
  std::uint32_t state = seed;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

struct DecodedDump {
  std::string header;                 // the first 72 bytes
  std::vector<FramePayload> frames;   // each record inflated
};

// Takes a dump apart; throws when a record is cut short or does not inflate
// to exactly its stated size.
inline DecodedDump decode_dump(const std::string& bytes) {
  if (bytes.size() < dump_header_size) throw std::runtime_error("dump shorter than its header");
  DecodedDump dump{bytes.substr(0, dump_header_size), {}};
  std::size_t at = dump_header_size;
  while (at < bytes.size()) {
    if (bytes.size() - at < frame_record_header_size) throw std::runtime_error("record sizes cut short");
    const std::uint32_t compressed_size = coding::decode_u32(bytes.data() + at);
    const std::uint32_t uncompressed_size = coding::decode_u32(bytes.data() + at + 4);
    at += frame_record_header_size;
    if (bytes.size() - at < compressed_size) throw std::runtime_error("record data cut short");
    FramePayload frame(uncompressed_size);
    uLongf length = uncompressed_size;
    const int result = uncompress(frame.data(), &length,
                                  reinterpret_cast<const Bytef*>(bytes.data() + at), compressed_size);
    if (result != Z_OK || length != uncompressed_size) throw std::runtime_error("record does not inflate");
    dump.frames.push_back(std::move(frame));
    at += compressed_size;
  }
  return dump;
}

// A fresh directory of its own, removed with everything in it.
class TempDirectory {
 public:
  TempDirectory() {
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() /
              ("vove_test_" + std::to_string(random()) + "_" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace recorder_test
