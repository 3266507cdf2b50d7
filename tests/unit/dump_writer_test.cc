// Writing dumps, and finding where the intact part of a dump ends.
#include "dumper/dump_writer.h"

#include <gtest/gtest.h>

#include "common/byte_coding.h"
#include "dumper/dump_file.h"
#include "formats/dump_scan.h"
#include "unit/dump_test_support.h"

using namespace dump_test;

TEST(DumpWriter, WritesTheHeaderThenRecordsThatInflateToTheirPayloads) {
  std::ostringstream out;
  DumpWriter writer(out, 60, make_source_id("accz"));
  EXPECT_EQ(out.str(), std::string("SHMTRACE\x3c\x00\x00\x00" "accz", 16) + std::string(56, '\0'));
  EXPECT_THROW(writer.append_frame({}), std::invalid_argument) << "an empty record would end a replay early";

  writer.append_frame(noise(1000));
  const std::string bytes = out.str();
  // Compressed size first, then the payload's size.
  const std::uint32_t compressed_size = coding::decode_u32(bytes.data() + 72);
  ASSERT_EQ(bytes.size(), 72 + 8 + compressed_size);
  EXPECT_EQ(coding::decode_u32(bytes.data() + 76), 1000u);
  Bytes inflated(1000);
  uLongf length = 1000;
  EXPECT_EQ(uncompress(inflated.data(), &length, reinterpret_cast<const Bytef*>(bytes.data() + 80), compressed_size),
            Z_OK);
  EXPECT_EQ(inflated, noise(1000));
}

TEST(DumpWriter, AFailedWriteThrowsAndLeavesOnlyCompleteRecordsBeforeIt) {
  RunsOutOfRoom<std::stringbuf> too_small(40);
  std::ostream header_out(&too_small);
  EXPECT_THROW(DumpWriter(header_out, 5, make_source_id("irac")), DumpWriteError);

  RunsOutOfRoom<std::stringbuf> buffer(400);
  std::ostream out(&buffer);
  DumpWriter writer(out, 5, make_source_id("irac"));
  writer.append_frame(Bytes(100, 7));
  const std::size_t intact = buffer.str().size();
  EXPECT_THROW(writer.append_frame(noise(1000)), DumpWriteError);
  EXPECT_GT(buffer.str().size(), intact) << "part of the record went out";
  std::istringstream written(buffer.str());
  EXPECT_EQ(complete_dump_length(written), intact);
  EXPECT_THROW(writer.append_frame(Bytes(100, 7)), DumpWriteError) << "the stream stays failed";
}

TEST(DumpFile, EachWriteReachesTheFileAtOnce) {
  // Nothing waits in a buffer: a failed write can only cut the record it
  // was writing.
  const TempDirectory directory;
  DumpFile file(directory.path(), "2024-03-15-14-07-09");
  DumpWriter writer(file.stream(), 5, make_source_id("irac"));
  EXPECT_EQ(std::filesystem::file_size(file.name()), 72u);
  writer.append_frame(noise(100));
  EXPECT_GT(std::filesystem::file_size(file.name()), 72u + 8);
  file.close();
}

TEST(DumpScan, FindsTheEndOfTheLastCompleteRecord) {
  const std::string intact = header(5) + raw_record(3, 9, "abc") + raw_record(0, 9, "");
  const std::string next = raw_record(5, 9, "defgh");
  const std::pair<std::string, std::uint64_t> cases[] = {
      {header(5).substr(0, 71), 0},
      {intact + next, intact.size() + next.size()},
      {intact + next.substr(0, 5), intact.size()},                      // sizes cut short
      {intact + next.substr(0, 12), intact.size()},                     // data cut short
      {intact + raw_record(0xffffffffu, 9, "xyz"), intact.size()},  // size beyond the end
  };
  for (const auto& [bytes, length] : cases) {
    std::istringstream in(bytes);
    EXPECT_EQ(complete_dump_length(in), length) << bytes.size();
  }
  // A caller that cut at a length found before a read error would destroy
  // records it never saw.
  FailingReads failing(intact.substr(0, 80));
  std::istream in(&failing);
  EXPECT_EQ(complete_dump_length(in), std::nullopt);
}
