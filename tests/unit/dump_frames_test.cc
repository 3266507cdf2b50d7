#include "formats/dump_frames.h"

#include <gtest/gtest.h>

#include <fstream>

#include "dump_test_support.h"
#include "error_message.h"

namespace vove {

namespace {

using namespace dump_test;

TEST(DumpFrames, ReadsAnyFrameInAnyOrderAndFindsFramesByTime) {
  const TempDirectory directory;
  const auto path = directory.path() / "frames.bin";
  std::string bytes = header(10);
  for (std::uint32_t frame = 0; frame < 25; ++frame) bytes += record(noise(100 + frame, frame + 1));
  std::ofstream(path, std::ios::binary) << bytes;

  DumpFrames frames(path);
  ASSERT_EQ(frames.size(), 25u);
  for (const std::size_t frame : {0u, 1u, 2u, 24u, 3u, 3u, 0u, 12u, 13u}) {
    EXPECT_EQ(frames.read(frame), noise(100 + frame, static_cast<std::uint32_t>(frame + 1))) << frame;
  }
  EXPECT_THROW(frames.read(25), std::out_of_range);
  EXPECT_DOUBLE_EQ(frames.seconds_of(15), 1.5);
  EXPECT_EQ(frames.frame_at(0.0), 0u);
  EXPECT_EQ(frames.frame_at(1.5), 15u);
  EXPECT_EQ(frames.frame_at(1.51), 16u);
  EXPECT_EQ(frames.frame_at(0.3 * 3), 9u);  // 0.8999999... still frame 9
  EXPECT_EQ(frames.frame_at(2.5), 25u);

  // The lowest rate a recorder takes: one frame a second.
  std::ofstream(path, std::ios::binary) << header(1) + record(noise(1, 1)) + record(noise(2, 2)) + record(noise(3, 3));
  DumpFrames slow(path);
  EXPECT_EQ(slow.frame_at(1.0), 1u);
  EXPECT_EQ(slow.frame_at(1.5), 2u);
  EXPECT_DOUBLE_EQ(slow.seconds_of(2), 2.0);
}

TEST(DumpFrames, SaysWhyAFileCannotBeOpened) {
  EXPECT_EQ(message_of([] { DumpFrames frames("/nonexistent-directory/recording.bin"); }),
            "Failed to open the file /nonexistent-directory/recording.bin: No such file or directory");
}

}  // namespace

}  // namespace vove
