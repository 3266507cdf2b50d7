// The replay's choices on the command line: what is rejected, with which
// message, and the frames a range gives.
#include "emulator/replay_options.h"

#include <gtest/gtest.h>

#include "common/console_key_decoder.h"
#include "common/frame_schedule.h"
#include "unit/dump_test_support.h"
#include "unit/error_message.h"
#include "unit/scripted_clock.h"

namespace vove {

namespace {

using namespace dump_test;

ReplayOptions choices(std::optional<double> speed, std::optional<double> from = {}, std::optional<double> to = {},
                      bool loop = false) {
  ReplayOptions options;
  options.loop = loop;
  options.speed = speed;
  options.from = from;
  options.to = to;
  return options;
}

std::string rejection(const ReplayOptions& options) {
  return message_of<RejectedOption>([&] { check_replay_options(options); });
}

TEST(ReplayOptions, RejectsSpeedsAndRangesThatCannotBe) {
  EXPECT_EQ(rejection(choices(0.1)), "");
  EXPECT_EQ(rejection(choices(16)), "");
  EXPECT_EQ(rejection(choices(0)), "the option '--speed' must lie between 0.1 and 16, not 0");
  EXPECT_EQ(rejection(choices(-2)), "the option '--speed' must lie between 0.1 and 16, not -2");
  EXPECT_EQ(rejection(choices(16.5)), "the option '--speed' must lie between 0.1 and 16, not 16.5");
  EXPECT_EQ(rejection(choices({}, -0.5)), "the option '--from' must be 0 or more, not -0.5");
  EXPECT_EQ(rejection(choices({}, 3, 3)), "the option '--to' must be greater than '--from', not 3");
  EXPECT_EQ(rejection(choices({}, {}, 0)), "the option '--to' must be greater than 0, not 0");
  EXPECT_NE(rejection(choices(std::numeric_limits<double>::quiet_NaN())), "");
}

TEST(ReplayOptions, ARangeGivesTheFramesTakenFromItsStartUpToItsEnd) {
  const TempDirectory directory;
  std::string bytes = header(10);
  for (int frame = 0; frame < 50; ++frame) bytes += record(noise(8, static_cast<std::uint32_t>(frame + 1)));
  const std::filesystem::path path = directory.write("range.bin", bytes);
  const DumpFrames frames(path);

  const ReplayPlan all = plan_replay(frames, path, {});
  EXPECT_EQ(all.first, 0u);
  EXPECT_EQ(all.end, 50u);
  EXPECT_EQ(all.at_end, RangeEnd::end_of_file);
  EXPECT_FALSE(all.report_late_frames);

  const ReplayPlan range = plan_replay(frames, path, choices(2, 1.05, 2.5, true));
  EXPECT_EQ(range.first, 11u);
  EXPECT_EQ(range.end, 25u);
  EXPECT_EQ(range.at_end, RangeEnd::end_of_range);
  EXPECT_TRUE(range.loop);
  EXPECT_EQ(range.speed, 2.0);
  EXPECT_TRUE(range.report_late_frames);
  EXPECT_EQ(plan_replay(frames, path, choices({}, {}, 5)).end, 50u);

  const auto rejected = [&](const ReplayOptions& options) {
    return message_of<RejectedOption>([&] { plan_replay(frames, path, options); });
  };
  EXPECT_EQ(rejected(choices({}, 4.95)),
            "the option '--from' lies beyond the end of the recording (the recording holds 5 seconds)");
  EXPECT_EQ(rejected(choices({}, {}, 5.01)),
            "the option '--to' lies beyond the end of the recording (the recording holds 5 seconds)");
  EXPECT_EQ(rejected(choices({}, 1.01, 1.09)), "the range of '--from' and '--to' holds no frame");
}

TEST(ReplayOptions, DamageAfterTheRangeEndsItAsItAlwaysHas) {
  const TempDirectory directory;
  const std::string good = header(10) + record(noise(8));
  const std::filesystem::path cut_in_data = directory.write("data.bin", good + raw_record(100, 200, "short"));
  const std::filesystem::path cut_in_sizes = directory.write("sizes.bin", good + "abc");
  EXPECT_EQ(plan_replay(DumpFrames(cut_in_data), cut_in_data, {}).at_end, RangeEnd::damaged_record);
  EXPECT_EQ(plan_replay(DumpFrames(cut_in_sizes), cut_in_sizes, {}).at_end, RangeEnd::end_of_file);
}

TEST(FrameSchedule, SleepsToTheNearestMillisecondAndRestartsAfterAStall) {
  using scripted_clock::at;
  constexpr std::int64_t ms = 1'000'000;
  FrameSchedule schedule(std::chrono::nanoseconds{16'666'666}, at(0));
  EXPECT_EQ(schedule.time_until_due(at(0)).count(), 0);
  EXPECT_FALSE(schedule.take_due_frame(at(0)));
  EXPECT_EQ(schedule.time_until_due(at(2 * ms)).count(), 15);           // 14.67 ms left
  EXPECT_EQ(schedule.time_until_due(at(16 * ms + ms / 3)).count(), 0);  // 0.33 ms left: due
  EXPECT_FALSE(schedule.take_due_frame(at(16 * ms + ms / 3)));
  EXPECT_EQ(schedule.due(), at(33'333'332));
  EXPECT_TRUE(schedule.take_due_frame(at(43 * ms)));  // 9.7 ms behind: late, kept
  EXPECT_EQ(schedule.due(), at(49'999'998));
  EXPECT_TRUE(schedule.take_due_frame(at(90 * ms)));  // more than a period behind: from now
  EXPECT_EQ(schedule.due(), at(90 * ms + 16'666'666));
  schedule.change_period(std::chrono::nanoseconds{0}, at(100 * ms));  // a rate of 0 never waits
  EXPECT_EQ(schedule.time_until_due(at(0)).count(), 0);
}

TEST(ConsoleKeyDecoder, TellsTheKeysFromTheirBytesEvenSplitAcrossReads) {
  using platform::ConsoleKey;
  ConsoleKeyDecoder decoder;
  std::vector<ConsoleKey> keys;
  for (const unsigned char byte : std::string(" .+-qQx\x1b[C\x1bOC\x1b[1;5C\x1b[Dz")) {
    if (const auto key = decoder.feed(byte)) keys.push_back(*key);
  }
  EXPECT_EQ(keys, (std::vector<ConsoleKey>{ConsoleKey::space, ConsoleKey::period, ConsoleKey::plus, ConsoleKey::minus,
                                           ConsoleKey::letter_q, ConsoleKey::letter_q, ConsoleKey::other,
                                           ConsoleKey::right_arrow, ConsoleKey::right_arrow, ConsoleKey::right_arrow,
                                           ConsoleKey::other, ConsoleKey::other}));
}

}  // namespace

}  // namespace vove
