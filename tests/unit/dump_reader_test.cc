#include "emulator/dump_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "unit/dump_bytes.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {

using dump_bytes::Bytes;
using dump_bytes::header;
using dump_bytes::payload;
using dump_bytes::raw_record;
using dump_bytes::record;

const std::string corrupt = "Failed to decompress data. File is corrupted?";

// A stream that cannot seek and hands out its bytes a few at a time, as a
// pipe would.
class PipeBuffer : public std::streambuf {
 public:
  explicit PipeBuffer(std::string bytes) : bytes_(std::move(bytes)) {}

 protected:
  int_type underflow() override {
    if (position_ >= bytes_.size()) return traits_type::eof();
    const std::size_t count = std::min<std::size_t>(7, bytes_.size() - position_);
    char* begin = bytes_.data() + position_;
    setg(begin, begin, begin + count);
    position_ += count;
    return traits_type::to_int_type(*begin);
  }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

// Hands out `good` bytes, then fails as a disk would.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string good) : good_(std::move(good)) {
    setg(good_.data(), good_.data(), good_.data() + good_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("device error"); }

 private:
  std::string good_;
};

// Largest single allocation made while a test watches. Only the sanitizer
// build can see allocations; elsewhere it stays 0 and the tests check the
// outcome alone.
std::atomic<std::size_t> largest_allocation{0};
std::atomic<bool> watching_allocations{false};

class AllocationWatch {
 public:
  AllocationWatch() {
#if defined(__SANITIZE_ADDRESS__)
    static const int installed = __sanitizer_install_malloc_and_free_hooks(
        [](const volatile void*, std::size_t size) {
          if (!watching_allocations.load()) return;
          std::size_t seen = largest_allocation.load();
          while (size > seen && !largest_allocation.compare_exchange_weak(seen, size)) {
          }
        },
        [](const volatile void*) {});
    (void)installed;
#endif
    largest_allocation = 0;
    watching_allocations = true;
  }
  ~AllocationWatch() { watching_allocations = false; }
  std::size_t largest() const { return largest_allocation.load(); }
};

struct ReadOutcome {
  std::vector<Bytes> frames;
  bool reached_end = false;
  std::string error;
};

ReadOutcome read_all(std::istream& input) {
  ReadOutcome outcome;
  try {
    DumpReader reader(input);
    for (;;) {
      Bytes frame = reader.next_frame();
      if (frame.empty()) {
        outcome.reached_end = true;
        break;
      }
      outcome.frames.push_back(std::move(frame));
    }
  } catch (const std::invalid_argument& error) {
    outcome.error = error.what();
  }
  return outcome;
}

ReadOutcome read_all(const std::string& bytes) {
  std::istringstream input(bytes);
  return read_all(input);
}

ReadOutcome read_all_through_pipe(const std::string& bytes) {
  PipeBuffer buffer(bytes);
  std::istream input(&buffer);
  return read_all(input);
}

TEST(DumpReaderHeader, RejectsAnythingButTheMagic) {
  for (const std::string& bytes : {std::string(), std::string("SHMTRAC"), std::string("shmtrace") + header(5).substr(8),
                                  std::string("XSHMTRACE") + std::string(80, '\0')}) {
    std::istringstream input(bytes);
    try {
      DumpReader reader(input);
      ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "Invalid file format.");
    }
  }
}

TEST(DumpReaderHeader, AcceptsTheMagicAloneAsAnEmptyRecording) {
  std::istringstream input("SHMTRACE");
  DumpReader reader(input);
  EXPECT_EQ(reader.fps(), 0);
  EXPECT_EQ(reader.source_id(), (SourceId{0, 0, 0, 0}));
  EXPECT_TRUE(reader.next_frame().empty());
  EXPECT_TRUE(reader.next_frame().empty());
}

TEST(DumpReaderHeader, TakesRateAndSourceAsStoredAndSkipsTheReservedWords) {
  std::string bytes = header(-3, "accz");
  std::fill(bytes.begin() + 16, bytes.end(), '\xff');
  std::istringstream input(bytes + record(payload(10, 1)));
  DumpReader reader(input);
  EXPECT_EQ(reader.fps(), -3);
  EXPECT_EQ(reader.source_id(), make_source_id("accz"));
  EXPECT_EQ(reader.next_frame(), payload(10, 1));
  EXPECT_TRUE(reader.next_frame().empty());
}

TEST(DumpReaderHeader, HeaderOnlyFileEndsAtOnce) {
  const ReadOutcome outcome = read_all(header(60));
  EXPECT_TRUE(outcome.reached_end);
  EXPECT_TRUE(outcome.frames.empty());
}

TEST(DumpReaderFrames, RoundTripsWhatTheRecorderWrites) {
  const std::vector<Bytes> frames = {payload(1, 9), payload(3700, 2), payload(70000, 3)};
  std::string bytes = header(5);
  for (const Bytes& frame : frames) bytes += record(frame);
  for (const ReadOutcome& outcome : {read_all(bytes), read_all_through_pipe(bytes)}) {
    EXPECT_EQ(outcome.frames, frames);
    EXPECT_TRUE(outcome.reached_end);
  }
}

TEST(DumpReaderFrames, CutInsideTheSizesIsTheEndOfTheRecording) {
  const std::string good = header(5) + record(payload(100, 1)) + record(payload(200, 2));
  const std::string next = record(payload(300, 3));
  for (std::size_t kept = 1; kept < 8; ++kept) {
    const ReadOutcome outcome = read_all(good + next.substr(0, kept));
    EXPECT_EQ(outcome.frames.size(), 2u);
    EXPECT_TRUE(outcome.reached_end) << kept;
  }
}

TEST(DumpReaderFrames, CutInsideTheDataIsCorrupt) {
  const std::string good = header(5) + record(payload(100, 1));
  const std::string next = record(payload(300, 3));
  for (const std::size_t kept : {std::size_t{8}, std::size_t{9}, next.size() - 1}) {
    for (const ReadOutcome& outcome :
         {read_all(good + next.substr(0, kept)), read_all_through_pipe(good + next.substr(0, kept))}) {
      EXPECT_EQ(outcome.frames.size(), 1u);
      EXPECT_EQ(outcome.error, corrupt) << kept;
    }
  }
}

TEST(DumpReaderFrames, HugeCompressedSizeIsCorruptWithoutAllocatingIt) {
  const Bytes data = dump_bytes::compress(payload(50, 1));
  const std::string bytes = header(5) + raw_record(0xffffffffu, 50, data);
  AllocationWatch watch;
  for (const ReadOutcome& outcome : {read_all(bytes), read_all_through_pipe(bytes)}) {
    EXPECT_EQ(outcome.error, corrupt);
  }
  EXPECT_LT(watch.largest(), std::size_t{4} << 20);
}

TEST(DumpReaderFrames, UncompressedSizeBeyondAnyInflationIsCorruptWithoutAllocatingIt) {
  const Bytes data = dump_bytes::compress(payload(50, 1));
  const std::string bytes = header(5) + raw_record(static_cast<std::uint32_t>(data.size()), 0xffffffffu, data);
  AllocationWatch watch;
  EXPECT_EQ(read_all(bytes).error, corrupt);
  EXPECT_LT(watch.largest(), std::size_t{4} << 20);
}

TEST(DumpReaderFrames, HighlyCompressibleFrameStillFitsTheInflationBound) {
  const Bytes zeros(8u << 20, 0);
  const ReadOutcome outcome = read_all(header(5) + record(zeros));
  ASSERT_EQ(outcome.frames.size(), 1u);
  EXPECT_EQ(outcome.frames[0], zeros);
}

TEST(DumpReaderFrames, StreamInflatingToMoreThanStatedIsCorrupt) {
  const Bytes data = dump_bytes::compress(payload(50, 1));
  const ReadOutcome outcome = read_all(header(5) + raw_record(static_cast<std::uint32_t>(data.size()), 49, data));
  EXPECT_EQ(outcome.error, corrupt);
}

TEST(DumpReaderFrames, StreamInflatingToLessLeavesAZeroTail) {
  const Bytes data = dump_bytes::compress(payload(50, 1));
  const ReadOutcome outcome = read_all(header(5) + raw_record(static_cast<std::uint32_t>(data.size()), 60, data));
  ASSERT_EQ(outcome.frames.size(), 1u);
  Bytes expected = payload(50, 1);
  expected.resize(60, 0);
  EXPECT_EQ(outcome.frames[0], expected);
}

TEST(DumpReaderFrames, DamagedStreamIsCorrupt) {
  Bytes data = dump_bytes::compress(payload(500, 1));
  data[data.size() / 2] ^= 0x55;
  data.back() ^= 0x01;  // the checksum at least no longer matches
  const ReadOutcome outcome = read_all(header(5) + raw_record(static_cast<std::uint32_t>(data.size()), 500, data));
  EXPECT_EQ(outcome.error, corrupt);
  EXPECT_EQ(read_all(header(5) + raw_record(0, 10, {})).error, corrupt);
}

TEST(DumpReaderFrames, EmptyStreamGivesAnEmptyPayload) {
  std::istringstream input(header(5) + record({}) + record(payload(10, 1)));
  DumpReader reader(input);
  EXPECT_TRUE(reader.next_frame().empty());
}

TEST(DumpReaderFrames, ReadErrorIsNoEndOfFile) {
  FailingBuffer buffer(header(5) + record(payload(10, 1)) + "\x10\x00\x00");
  std::istream input(&buffer);
  DumpReader reader(input);
  EXPECT_EQ(reader.next_frame(), payload(10, 1));
  EXPECT_THROW(reader.next_frame(), std::runtime_error);
}

// Every cut of a good file delivers the complete records before the cut,
// then ends (cut at a record boundary or inside the sizes) or reports the
// corrupt record; it never crashes or delivers a wrong frame.
TEST(DumpReaderRobustness, EveryTruncationEndsCleanly) {
  std::mt19937 random(7);
  std::string bytes = header(30);
  std::vector<Bytes> frames;
  std::vector<std::size_t> record_ends;
  for (std::uint8_t i = 0; i < 3; ++i) {
    Bytes frame(std::uniform_int_distribution<std::size_t>(1, 400)(random));
    for (std::size_t k = 0; k < frame.size(); k += 1 + i) frame[k] = static_cast<std::uint8_t>(random());
    frames.push_back(frame);
    bytes += record(frame);
    record_ends.push_back(bytes.size());
  }
  for (std::size_t length = dump_header_size; length <= bytes.size(); ++length) {
    const std::size_t complete =
        static_cast<std::size_t>(std::count_if(record_ends.begin(), record_ends.end(), [&](std::size_t end) { return end <= length; }));
    const std::size_t record_start = complete == 0 ? dump_header_size : record_ends[complete - 1];
    const bool ends_cleanly = length - record_start < frame_record_header_size;
    const std::string cut = bytes.substr(0, length);
    for (const ReadOutcome& outcome : {read_all(cut), read_all_through_pipe(cut)}) {
      ASSERT_EQ(outcome.frames, std::vector<Bytes>(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(complete)))
          << length;
      EXPECT_EQ(outcome.reached_end, ends_cleanly) << length;
      EXPECT_EQ(outcome.error, ends_cleanly ? "" : corrupt) << length;
    }
  }
}

TEST(DumpReaderRobustness, RandomDamageNeverCrashes) {
  std::mt19937 random(11);
  std::string bytes = header(30);
  for (std::uint8_t i = 0; i < 4; ++i) bytes += record(payload(50 + 100 * i, i));
  for (int round = 0; round < 400; ++round) {
    std::string damaged = bytes;
    const int flips = std::uniform_int_distribution<int>(1, 4)(random);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = std::uniform_int_distribution<std::size_t>(8, damaged.size() - 1)(random);
      damaged[at] = static_cast<char>(random());
    }
    damaged.resize(std::uniform_int_distribution<std::size_t>(damaged.size() - 40, damaged.size())(random));
    const ReadOutcome outcome = round % 2 == 0 ? read_all(damaged) : read_all_through_pipe(damaged);
    EXPECT_TRUE(outcome.reached_end || outcome.error == corrupt) << round;
  }
}

}  // namespace
