#include "formats/dump_reader.h"

#include <gtest/gtest.h>

#include <atomic>

#include "unit/dump_test_support.h"

namespace {

using namespace dump_test;

const std::string corrupt = "Failed to decompress data. File is corrupted?";

// Cannot seek, as a pipe: records are then read in pieces.
class PipeBuffer : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  pos_type seekoff(off_type, std::ios::seekdir, std::ios::openmode) override { return pos_type(off_type(-1)); }
};

// The largest allocation since the last reset. Only the sanitizer build can
// see allocations; elsewhere it stays 0 and the outcome alone is checked.
std::atomic<std::size_t> largest_allocation{0};

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
const int allocation_hooks = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, std::size_t size) {
      for (std::size_t seen = largest_allocation; size > seen;) largest_allocation.compare_exchange_weak(seen, size);
    },
    [](const volatile void*) {});
#endif

struct Outcome {
  std::vector<Bytes> frames;
  std::string error;  // empty when the file ended cleanly
};

Outcome read_all(const std::string& bytes, bool through_pipe) {
  std::istringstream seekable(bytes);
  PipeBuffer pipe(bytes);
  std::istream piped(&pipe);
  Outcome outcome;
  try {
    DumpReader reader(through_pipe ? piped : seekable);
    for (Bytes frame = reader.next_frame(); !frame.empty(); frame = reader.next_frame()) outcome.frames.push_back(frame);
  } catch (const std::invalid_argument& error) {
    outcome.error = error.what();
  }
  return outcome;
}

TEST(DumpReader, BadRecordsAreCorruptWithoutAHugeAllocation) {
  const std::string cut = record(noise(300));
  const std::string data = record(noise(50)).substr(8);
  const auto size = static_cast<std::uint32_t>(data.size());
  for (const std::string& bad : {cut.substr(0, cut.size() - 1), raw_record(0xffffffffu, 50, data),
                                 raw_record(size, 0xffffffffu, data), raw_record(size, 49, data), raw_record(0, 10, "")}) {
    for (const bool through_pipe : {false, true}) {
      largest_allocation = 0;
      const Outcome outcome = read_all(header(5) + record(noise(100)) + bad, through_pipe);
      EXPECT_EQ(outcome.frames, std::vector<Bytes>{noise(100)});
      EXPECT_EQ(outcome.error, corrupt) << bad.size();
      EXPECT_LT(largest_allocation, std::size_t{4} << 20) << bad.size();
    }
  }
  // The most compressible frame there is still fits the bound on stated sizes.
  const Bytes zeros(8u << 20, 0);
  EXPECT_EQ(read_all(header(5) + record(zeros), false).frames, std::vector<Bytes>{zeros});

  FailingReads failing(header(5) + record(noise(10)) + "\x10\x00\x00");
  std::istream input(&failing);
  DumpReader reader(input);
  EXPECT_EQ(reader.next_frame(), noise(10));
  EXPECT_THROW(reader.next_frame(), std::runtime_error) << "a read error is no end of file";
}

// Every cut of a good file delivers the complete records before the cut,
// then ends (cut at a record boundary or inside the sizes) or reports the
// corrupt record.
TEST(DumpReader, EveryTruncationEndsCleanly) {
  const std::vector<Bytes> frames = {noise(40), Bytes(300, 9), noise(340, 2)};
  std::string bytes = header(30);
  std::vector<std::size_t> record_ends;
  for (const Bytes& frame : frames) record_ends.push_back((bytes += record(frame)).size());
  for (std::size_t length = dump_header_size; length <= bytes.size(); ++length) {
    const auto complete = std::count_if(record_ends.begin(), record_ends.end(), [&](auto end) { return end <= length; });
    const std::size_t record_start = complete == 0 ? dump_header_size : record_ends[complete - 1];
    for (const bool through_pipe : {false, true}) {
      const Outcome outcome = read_all(bytes.substr(0, length), through_pipe);
      ASSERT_EQ(outcome.frames, std::vector<Bytes>(frames.begin(), frames.begin() + complete)) << length;
      EXPECT_EQ(outcome.error, length - record_start < frame_record_header_size ? "" : corrupt) << length;
    }
  }
}

}  // namespace
