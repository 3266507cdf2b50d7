#include "formats/dump_reader.h"

#include <gtest/gtest.h>

#include "formats/dump_file_errors.h"
#include "formats/dump_writer.h"
#include "unit/allocation_counter.h"
#include "unit/dump_test_support.h"

namespace vove {

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

std::size_t largest_allocation() { return allocation_counter::counts().largest; }
std::size_t allocations() { return allocation_counter::counts().allocations; }

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
    for (Bytes frame = reader.next_frame(); !frame.empty(); frame = reader.next_frame())
      outcome.frames.push_back(frame);
  } catch (const DumpInputError& error) {
    if (error.kind() == DumpErrorKind::io) throw;
    outcome.error = error.what();
  }
  return outcome;
}

TEST(DumpReader, BadRecordsAreCorruptWithoutAHugeAllocation) {
  const std::string cut = record(noise(300));
  const std::string data = record(noise(50)).substr(8);
  const auto size = static_cast<std::uint32_t>(data.size());
  for (const std::string& bad :
       {cut.substr(0, cut.size() - 1), raw_record(0xffffffffu, 50, data), raw_record(size, 0xffffffffu, data),
        raw_record(size, 49, data), raw_record(0, 10, "")}) {
    for (const bool through_pipe : {false, true}) {
      allocation_counter::reset();
      const Outcome outcome = read_all(header(5) + record(noise(100)) + bad, through_pipe);
      EXPECT_EQ(outcome.frames, std::vector<Bytes>{noise(100)});
      EXPECT_EQ(outcome.error, corrupt) << bad.size();
      EXPECT_LT(largest_allocation(), std::size_t{4} << 20) << bad.size();
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

// A record may declare up to about a thousand times its size; what it costs
// must follow the data it really holds, not that declaration.
TEST(DumpReader, ADeclaredSizeCostsNoMemoryUntilTheDataArrives) {
  const std::string good = record(noise(200000));
  const std::string data = good.substr(8, good.size() - 8 - 16);  // the stream cut before its end
  const auto size = static_cast<std::uint32_t>(data.size());
  for (const bool through_pipe : {false, true}) {
    allocation_counter::reset();
    const Outcome outcome = read_all(header(5) + raw_record(size, size * 1032, data), through_pipe);
    EXPECT_TRUE(outcome.frames.empty());
    EXPECT_EQ(outcome.error, corrupt);
    EXPECT_LT(largest_allocation(), std::size_t{2} << 20) << "declared " << size * 1032;
  }
  // A whole stream that holds fewer bytes than declared still gives the
  // declared size, the tail zero.
  const std::string whole = record(noise(1000)).substr(8);
  const Outcome padded = read_all(header(5) + raw_record(static_cast<std::uint32_t>(whole.size()), 1500, whole), false);
  ASSERT_EQ(padded.frames.size(), 1u);
  Bytes expected = noise(1000);
  expected.resize(1500, 0);
  EXPECT_EQ(padded.frames.front(), expected);
}

// A frame read into the same payload, or written from it, allocates nothing
// once the buffers have grown.
TEST(DumpReader, FrameAfterFrameReusesTheBuffers) {
  std::vector<Bytes> frames;
  std::string bytes = header(60);
  for (std::uint32_t seed = 1; seed <= 10; ++seed) bytes += record(frames.emplace_back(noise(3700, seed)));
  std::istringstream input(bytes);
  DumpReader reader(input);
  Bytes payload;
  reader.next_frame(payload);
  allocation_counter::reset();
  for (std::size_t i = 1; i < frames.size(); ++i) {
    reader.next_frame(payload);
    EXPECT_EQ(payload, frames[i]);
  }
  EXPECT_EQ(allocations(), 0u) << "the reader allocated per frame";
  reader.next_frame(payload);
  EXPECT_TRUE(payload.empty()) << "end of file";

  struct Discard : std::streambuf {
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
  } discard;
  std::ostream out(&discard);
  DumpWriter writer(out, 60, make_source_id("accz"));
  writer.append_frame(noise(3700, 1));
  const Bytes frame = noise(3700, 2);
  allocation_counter::reset();
  for (int i = 0; i < 10; ++i) writer.append_frame(frame);
  EXPECT_EQ(allocations(), 0u) << "the writer allocated per frame";
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
    const auto complete =
        std::count_if(record_ends.begin(), record_ends.end(), [&](auto end) { return end <= length; });
    const std::size_t record_start = complete == 0 ? dump_header_size : record_ends[complete - 1];
    for (const bool through_pipe : {false, true}) {
      const Outcome outcome = read_all(bytes.substr(0, length), through_pipe);
      ASSERT_EQ(outcome.frames, std::vector<Bytes>(frames.begin(), frames.begin() + complete)) << length;
      EXPECT_EQ(outcome.error, length - record_start < frame_record_header_size ? "" : corrupt) << length;
    }
  }
}

}  // namespace

}  // namespace vove
