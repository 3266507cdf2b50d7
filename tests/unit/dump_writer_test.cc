#include "dumper/dump_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sstream>
#include <string>

#include "common/byte_coding.h"
#include "formats/dump_scan.h"
#include "unit/recorder_test_support.h"

using recorder_test::decode_dump;
using recorder_test::FullDiskString;
using recorder_test::noise;

TEST(DumpWriter, WritesTheHeaderAtOnce) {
  std::ostringstream out;
  DumpWriter writer(out, 5, make_source_id("irac"));
  const std::string bytes = out.str();
  ASSERT_EQ(bytes.size(), 72u);
  EXPECT_EQ(bytes.substr(0, 8), "SHMTRACE");
  EXPECT_EQ(bytes.substr(8, 8), std::string("\x05\x00\x00\x00irac", 8));
  EXPECT_EQ(bytes.substr(16), std::string(56, '\0'));

  std::ostringstream acc;
  DumpWriter acc_writer(acc, 60, make_source_id("accz"));
  EXPECT_EQ(acc.str().substr(8, 8), std::string("\x3c\x00\x00\x00" "accz", 8));
}

TEST(DumpWriter, RecordsInflateToExactlyTheirPayloads) {
  FramePayload repetitive(4096);
  for (std::size_t i = 0; i < repetitive.size(); ++i) repetitive[i] = static_cast<std::uint8_t>(i % 16);
  const FramePayload incompressible = noise(1000);
  const FramePayload single_byte{42};

  std::ostringstream out;
  DumpWriter writer(out, 30, make_source_id("accz"));
  writer.append_frame(repetitive);
  writer.append_frame(incompressible);
  writer.append_frame(single_byte);

  const std::string bytes = out.str();
  const auto dump = decode_dump(bytes);
  ASSERT_EQ(dump.frames.size(), 3u);
  EXPECT_EQ(dump.frames[0], repetitive);
  EXPECT_EQ(dump.frames[1], incompressible);
  EXPECT_EQ(dump.frames[2], single_byte);

  // Compressed size first, then the payload's size.
  const std::uint32_t first_compressed = coding::decode_u32(bytes.data() + 72);
  EXPECT_LT(first_compressed, 4096u / 10);
  EXPECT_EQ(coding::decode_u32(bytes.data() + 76), 4096u);
  const std::size_t second = 72 + 8 + first_compressed;
  const std::uint32_t second_compressed = coding::decode_u32(bytes.data() + second);
  EXPECT_GT(second_compressed, 1000u);
  EXPECT_LE(second_compressed, compressBound(1000));
}

TEST(DumpWriter, RejectsAnEmptyPayloadWithoutWriting) {
  std::ostringstream out;
  DumpWriter writer(out, 5, make_source_id("irac"));
  EXPECT_THROW(writer.append_frame({}), std::invalid_argument);
  EXPECT_EQ(out.str().size(), 72u);
}

TEST(DumpWriter, ThrowsWhenTheHeaderDoesNotFit) {
  FullDiskString buffer(40);
  std::ostream out(&buffer);
  EXPECT_THROW(DumpWriter(out, 5, make_source_id("irac")), DumpWriteError);
}

TEST(DumpWriter, AFailedWriteThrowsAndLeavesOnlyCompleteRecordsBeforeIt) {
  const FramePayload small(100, 7);
  FullDiskString buffer(400);
  std::ostream out(&buffer);
  DumpWriter writer(out, 5, make_source_id("irac"));
  writer.append_frame(small);
  const std::size_t intact = buffer.str().size();

  try {
    writer.append_frame(noise(1000));
    FAIL() << "a record that did not fit was reported as written";
  } catch (const DumpWriteError&) {
    // Part of the record went out; the scan finds where the intact part ends.
    EXPECT_GT(buffer.str().size(), intact);
    std::istringstream written(buffer.str());
    EXPECT_EQ(complete_dump_length(written), intact);
  }
  // The stream stays failed: later frames are not reported as written either.
  EXPECT_THROW(writer.append_frame(small), DumpWriteError);
}
