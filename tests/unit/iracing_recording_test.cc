#include "formats/iracing_recording.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/byte_coding.h"
#include "dump_test_support.h"
#include "iracing_test_support.h"

namespace vove {

namespace {

using namespace dump_test;

// A frame with two variables, Speed (float at 0) and Gear (int at 4), whose
// values tell the frame apart; `extra` adds a third variable.
Bytes frame_payload(std::int32_t tick, const std::string& text, bool extra = false) {
  iracing::Snapshot snapshot;
  snapshot.header.tick_rate = 60;
  snapshot.header.buffer_count = 3;
  snapshot.header.buffer_length = 8;
  snapshot.header.buffer_slots[1].tick_count = tick;  // the newest slot
  snapshot.header.buffer_slots[0].tick_count = tick - 1;
  snapshot.variable_headers.push_back(iracing_test::variable("Speed", iracing::VariableType::float32, 0));
  snapshot.variable_headers.push_back(iracing_test::variable("Gear", iracing::VariableType::integer, 4));
  if (extra) {
    snapshot.variable_headers.push_back(iracing_test::variable("OnPitRoad", iracing::VariableType::boolean, 7));
  }
  snapshot.header.variable_count = static_cast<std::int32_t>(snapshot.variable_headers.size());
  snapshot.session_info = text;
  snapshot.row.resize(8);
  coding::encode_f32(snapshot.row.data(), static_cast<float>(tick) * 0.5f);
  coding::encode_i32(snapshot.row.data() + 4, tick % 7);
  return iracing::serialise_snapshot(snapshot);
}

std::string text_for(std::int32_t tick) { return "SessionInfo: " + std::to_string(tick) + "\n"; }

// Ten frames at 10 fps, ticks 100..109; frames 0 and 6 carry a session
// text, frame 8 has a third variable.
std::string recording() {
  std::string bytes = header(10);
  for (std::int32_t frame = 0; frame < 10; ++frame) {
    const std::int32_t tick = 100 + frame;
    bytes += record(frame_payload(tick, frame == 0 || frame == 6 ? text_for(tick) : "", frame == 8));
  }
  return bytes;
}

TEST(RecordingWalk, HandsOutEachFrameWithTheSessionTextInForceAndItsTable) {
  const TempDirectory directory;
  DumpFrames frames(directory.write("r.bin", recording()));
  iracing::RecordingWalk walk(frames);
  std::size_t count = 0;
  while (const auto* frame = walk.next()) {
    const auto number = static_cast<std::int32_t>(frame->number);
    EXPECT_EQ(frame->number, count++);
    EXPECT_EQ(frame->tick, 100 + number);
    EXPECT_DOUBLE_EQ(frame->seconds, number / 10.0);
    EXPECT_EQ(frame->carries_session_text(), number == 0 || number == 6);
    EXPECT_EQ(walk.session_text(), text_for(number < 6 ? 100 : 106));
    EXPECT_EQ(walk.session_text_frame(), number < 6 ? 0u : 6u);
    EXPECT_EQ(walk.variables_differ_from_first(), number == 8) << number;
    EXPECT_EQ(walk.variables().variables().size(), number == 8 ? 3u : 2u);
    const auto* gear = walk.variables().find("Gear");
    ASSERT_NE(gear, nullptr);
    EXPECT_EQ(iracing::read_value(frame->snapshot.row, *gear, 0), (100 + number) % 7);
  }
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(walk.first_variables().variables().size(), 2u);
}

TEST(RecordingWalk, StartingMidwayFindsTheTextCarriedEarlier) {
  const TempDirectory directory;
  DumpFrames frames(directory.write("r.bin", recording()));
  iracing::RecordingWalk walk(frames, 4, 9);
  EXPECT_EQ(walk.session_text(), text_for(100));
  std::vector<std::size_t> numbers;
  while (const auto* frame = walk.next()) numbers.push_back(frame->number);
  EXPECT_EQ(numbers, (std::vector<std::size_t>{4, 5, 6, 7, 8}));
  EXPECT_EQ(walk.session_text(), text_for(106));

  // The text may be carried by the very first frame.
  EXPECT_EQ(iracing::RecordingWalk(frames, 1).session_text(), text_for(100));

  iracing::RecordingWalk past_the_end(frames, 50);
  EXPECT_EQ(past_the_end.next(), nullptr);
}

TEST(RecordingWalk, NamesADamagedFrameAndGoesOnAfterIt) {
  const TempDirectory directory;
  std::string bytes = header(10);
  bytes += record(frame_payload(1, "text"));
  bytes += record(Bytes(50, 0xab));  // inflates, but is no iRacing frame
  Bytes garbage = noise(40);
  bytes += raw_record(static_cast<std::uint32_t>(garbage.size()), 100, std::string(garbage.begin(), garbage.end()));
  bytes += record(frame_payload(4, ""));
  DumpFrames frames(directory.write("r.bin", bytes));
  iracing::RecordingWalk walk(frames);
  ASSERT_NE(walk.next(), nullptr);
  for (const std::size_t damaged : {1u, 2u}) {
    try {
      walk.next();
      FAIL() << damaged;
    } catch (const iracing::DamagedFrameError& error) {
      EXPECT_EQ(error.frame(), damaged);
      EXPECT_EQ(error.offset(), frames.index().records()[damaged].offset);
      EXPECT_NE(std::string(error.what()).find("frame " + std::to_string(damaged)), std::string::npos);
    }
  }
  const auto* last = walk.next();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->tick, 4);
  EXPECT_EQ(walk.session_text(), "text");
}

TEST(RecordingWalk, RefusesAnAccRecording) {
  const TempDirectory directory;
  DumpFrames frames(directory.write("a.bin", header(10, "accz") + record(Bytes(3700, 0))));
  EXPECT_THROW(iracing::RecordingWalk walk(frames), iracing::NotIracingRecordingError);
}

}  // namespace

}  // namespace vove
