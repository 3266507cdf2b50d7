// Writing dumps, and finding where the intact part of a dump ends.
#include "formats/dump_writer.h"

#include <gtest/gtest.h>

#include "common/byte_coding.h"
#include "formats/dump_scan.h"
#include "unit/dump_test_support.h"

namespace vove {

using namespace dump_test;

TEST(DumpWriter, WritesTheHeaderThenRecordsThatInflateToTheirPayloads) {
  std::ostringstream out;
  DumpWriter writer(out, 60, make_source_id("accz"));
  EXPECT_EQ(out.str(), std::string("SHMTRACE\x3c\x00\x00\x00"
                                   "accz",
                                   16) +
                           std::string(56, '\0'));
  EXPECT_THROW(writer.append_frame({}), std::invalid_argument) << "an empty record would end a replay early";

  writer.append_frame(noise(1000));
  const std::string bytes = out.str();
  const std::uint32_t compressed_size = coding::decode_u32(bytes.data() + 72);
  ASSERT_EQ(bytes.size(), 72 + 8 + compressed_size);
  EXPECT_EQ(coding::decode_u32(bytes.data() + 76), 1000u);
  EXPECT_EQ(bytes.substr(72), record(noise(1000)));  // what compress2 makes of it
}

TEST(DumpWriter, RecordsAreByteForByteWhatCompress2Writes) {
  // Sizes up and down and content of every kind, so that anything one frame
  // left in the writer's stream or buffer would show in the next record.
  const std::vector<Bytes> frames = {
      noise(5000, 3),  Bytes(1, 42),  Bytes(300000, 0), noise(3700, 4), Bytes{'a', 'b', 'a', 'b', 'a', 'b'},
      noise(70000, 5), noise(3700, 6)};
  std::ostringstream out;
  DumpWriter writer(out, 30, make_source_id("accz"));
  std::string expected = header(30, "accz");
  for (const Bytes& frame : frames) {
    writer.append_frame(frame);
    expected += record(frame);
  }
  EXPECT_EQ(out.str(), expected);
}

// A repeat is what compress2 makes of the last payload, as a fresh record
// of it would be; it is counted apart, and needs a record to repeat.
TEST(DumpWriter, RepeatsTheLastRecordByteForByte) {
  std::ostringstream out;
  DumpWriter writer(out, 60, make_source_id("irac"));
  EXPECT_THROW(writer.append_last_again(), std::logic_error);
  writer.append_frame(noise(70000, 8));
  writer.append_frame(Bytes(900, 5));  // a shorter record in the grown buffer
  writer.append_last_again();
  writer.append_last_again();
  writer.append_frame(noise(20, 9));
  writer.append_last_again();
  EXPECT_EQ(out.str(), header(60, "irac") + record(noise(70000, 8)) + record(Bytes(900, 5)) + record(Bytes(900, 5)) +
                           record(Bytes(900, 5)) + record(noise(20, 9)) + record(noise(20, 9)));
  EXPECT_EQ(writer.records(), 6u);
  EXPECT_EQ(writer.repeated_records(), 3u);
}

TEST(DumpWriter, AFailedWriteThrowsAndOnlyTheRecordsBeforeItCountAsComplete) {
  RunsOutOfRoom<std::stringbuf> buffer(400);
  std::ostream out(&buffer);
  DumpWriter writer(out, 5, make_source_id("irac"));
  writer.append_frame(Bytes(100, 7));
  const std::size_t intact = buffer.str().size();
  EXPECT_THROW(writer.append_frame(noise(1000)), DumpWriteError);
  EXPECT_GT(buffer.str().size(), intact) << "part of the record went out";
  std::istringstream written(buffer.str());
  EXPECT_EQ(complete_dump_length(written), intact);

  // A length found before a read error would cut records never seen.
  FailingReads failing(buffer.str().substr(0, 80));
  std::istream broken(&failing);
  EXPECT_EQ(complete_dump_length(broken), std::nullopt);
}

}  // namespace vove
