// The replay loop on a scripted clock: deadlines that keep the file's rate,
// ranges, loops and the user's keys, seen through a producer that records
// what it is given.
#include "emulator/replay_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "unit/console_capture.h"
#include "unit/dump_test_support.h"
#include "unit/scripted_clock.h"

namespace vove {

namespace {

using namespace dump_test;
using platform::ConsoleKey;

// Payloads of one byte, the frame's number.
std::filesystem::path numbered_frames(const TempDirectory& directory, int fps, int count, bool damaged = false) {
  std::string bytes = header(fps);
  for (int frame = 0; frame < count; ++frame) bytes += record(Bytes{static_cast<std::uint8_t>(frame)});
  if (damaged) bytes += raw_record(100, 200, "cut short");
  return directory.write("frames.bin", bytes);
}

struct RecordingProducer : Producer {
  std::int64_t* now = nullptr;
  std::int64_t work = 0;             // what each frame costs on the clock
  std::map<int, std::int64_t> slow;  // frame number: its own cost
  std::vector<int> written;          // frame numbers; -1 where a pass begins
  std::vector<std::int64_t> times;   // of each frame's write
  std::vector<int> earlier;
  std::size_t earlier_wanted = 0;

  void start() override {}
  void stop() override {}
  void write_frame(const std::vector<std::uint8_t>& payload) override {
    times.push_back(*now);
    written.push_back(payload.at(0));
    *now += slow.count(payload[0]) ? slow[payload[0]] : work;
  }
  bool take_earlier_frame(const std::vector<std::uint8_t>& payload) override {
    earlier.push_back(payload.at(0));
    return earlier.size() < earlier_wanted;
  }
  void begin_pass() override { written.push_back(-1); }
  std::size_t frames_written() const { return times.size(); }
};

// A clock that moves only by the producer's work and the sleeps.
struct ScriptedReplay {
  std::int64_t now = 1'000 * ms;
  std::vector<std::int32_t> sleeps;
  RecordingProducer producer;
  std::atomic<bool> stop_flag{false};
  std::ostringstream progress_out;
  std::ostringstream out;  // what the user reads
  ProgressLine progress{progress_out, true, scripted_clock::reading(now)};
  KeySource keys;

  ScriptedReplay() { producer.now = &now; }
  ReplayEnd run(DumpFrames& frames, const ReplayPlan& plan) {
    const ReplayTiming timing{scripted_clock::reading(now), [this](std::chrono::milliseconds asked) {
                                sleeps.push_back(static_cast<std::int32_t>(asked.count()));
                                now += asked.count() * ms;
                              }};
    ReplaySession session(producer, frames, plan, timing, progress, out);
    return session.run(StopSignal::watching(stop_flag), keys);
  }
};

ReplayPlan whole(const DumpFrames& frames) {
  ReplayPlan plan;
  plan.end = frames.size();
  return plan;
}

TEST(ReplayLoop, EachFrameIsWrittenAtItsDeadlineWhateverTheWorkAndTheStalls) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 60, 121));
  ScriptedReplay replay;
  replay.producer.work = 2 * ms + ms / 2;
  replay.producer.slow[80] = 100 * ms;  // a stall of six periods
  ReplayPlan plan = whole(frames);
  plan.report_late_frames = true;
  EXPECT_EQ(replay.run(frames, plan), ReplayEnd::end_of_file);
  EXPECT_EQ(replay.out.str(), "Emulator reached end of file\nFrames written late: 1\n");

  const auto& times = replay.producer.times;
  ASSERT_EQ(times.size(), 121u);
  const std::int64_t start = times[0];
  const double period = 1e9 / 60;
  // The fraction of a millisecond is carried: frame 60 comes a second after
  // frame 0, not 60 × 16 ms.
  for (std::size_t k = 0; k <= 80; ++k) {
    EXPECT_NEAR(static_cast<double>(times[k] - start), static_cast<double>(k) * period, 0.5 * ms) << k;
  }
  // After the stall the schedule starts again from its end: no burst.
  EXPECT_EQ(times[81], times[80] + 100 * ms);
  for (std::size_t k = 82; k < times.size(); ++k) {
    EXPECT_NEAR(static_cast<double>(times[k] - times[81]), static_cast<double>(k - 81) * period, 0.5 * ms) << k;
  }
}

TEST(ReplayLoop, ARangeLoopsWithItsFirstImageUntilQ) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 10));
  ScriptedReplay replay;
  replay.producer.earlier_wanted = 2;
  replay.keys = [&]() -> std::optional<ConsoleKey> {
    if (replay.producer.frames_written() == 7) return ConsoleKey::letter_q;
    return std::nullopt;
  };
  ReplayPlan plan;
  plan.first = 3;
  plan.end = 6;
  plan.at_end = RangeEnd::end_of_range;
  plan.loop = true;
  EXPECT_EQ(replay.run(frames, plan), ReplayEnd::stopped);
  EXPECT_EQ(replay.producer.earlier, (std::vector<int>{2, 1}));
  EXPECT_EQ(replay.producer.written, (std::vector<int>{-1, 3, 4, 5, -1, 3, 4, 5, -1, 3}));
  EXPECT_EQ(replay.out.str(),
            "Emulator restarted from the first frame (loop 2)\nEmulator restarted from the first frame (loop 3)\n"
            "Key q pressed. Stopping the job.\n");
  // Every frame, the restarts included, a period after the one before.
  for (std::size_t k = 1; k < replay.producer.times.size(); ++k) {
    EXPECT_EQ(replay.producer.times[k] - replay.producer.times[k - 1], 100 * ms) << k;
  }
}

TEST(ReplayLoop, TheEndOfTheRangeSaysWhatEndedIt) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 4, true));
  const struct {
    RangeEnd at_end;
    std::size_t end;
    std::string output;
  } cases[] = {
      {RangeEnd::end_of_file, 4, "Emulator reached end of file\n"},
      {RangeEnd::end_of_range, 2, "Emulator reached the end of the range\n"},
      {RangeEnd::damaged_record, 4, ""},
  };
  for (const auto& c : cases) {
    ScriptedReplay replay;
    ReplayPlan plan;
    plan.end = c.end;
    plan.at_end = c.at_end;
    if (c.at_end == RangeEnd::damaged_record) {
      EXPECT_THROW(replay.run(frames, plan), DumpInputError);
    } else {
      EXPECT_EQ(replay.run(frames, plan), ReplayEnd::end_of_file);
    }
    EXPECT_EQ(replay.out.str(), c.output);
    EXPECT_EQ(replay.producer.frames_written(), c.end);
  }
}

TEST(ReplayLoop, PausedNothingIsWrittenButASteppedFrame) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 6));
  ScriptedReplay replay;
  std::size_t polls_paused = 0;
  bool paused = false;
  std::vector<std::size_t> written_at_poll;  // frames written when each paused poll came
  std::deque<std::pair<std::size_t, ConsoleKey>> script{
      {10, ConsoleKey::period}, {30, ConsoleKey::right_arrow}, {40, ConsoleKey::other}, {50, ConsoleKey::space}};
  replay.keys = [&, last_sleeps = std::size_t{0}]() mutable -> std::optional<ConsoleKey> {
    if (!paused) {
      if (replay.producer.frames_written() != 2) return std::nullopt;
      paused = true;
      last_sleeps = replay.sleeps.size();
      return ConsoleKey::space;
    }
    if (replay.sleeps.size() == last_sleeps) return std::nullopt;
    last_sleeps = replay.sleeps.size();  // one poll per sleep
    ++polls_paused;
    written_at_poll.push_back(replay.producer.frames_written());
    if (script.empty() || script.front().first != polls_paused) return std::nullopt;
    const ConsoleKey key = script.front().second;
    script.pop_front();
    return key;
  };
  EXPECT_EQ(replay.run(frames, whole(frames)), ReplayEnd::end_of_file);
  EXPECT_EQ(replay.producer.frames_written(), 6u);
  ASSERT_GE(written_at_poll.size(), 50u);
  // Paused after frame 1, stepped to frame 2 at poll 10 and frame 3 at 30.
  for (std::size_t poll = 1; poll <= 50; ++poll) {
    EXPECT_EQ(written_at_poll[poll - 1], poll <= 10 ? 2u : poll <= 30 ? 3u : 4u) << poll;
  }
  EXPECT_NE(replay.progress_out.str().find("frame 4 / 6  speed 1x  loop 1  paused"), std::string::npos);
}

TEST(ReplayLoop, PlusAndMinusChangeTheSpeedWithinItsBounds) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 12));
  ScriptedReplay replay;
  std::deque<std::pair<std::size_t, std::vector<ConsoleKey>>> script{
      {2, {ConsoleKey::plus}},
      {5, std::vector<ConsoleKey>(6, ConsoleKey::plus)},
      {8, std::vector<ConsoleKey>(3, ConsoleKey::minus)},
      {9, std::vector<ConsoleKey>(9, ConsoleKey::minus)}};
  std::deque<ConsoleKey> pending;
  replay.keys = [&]() -> std::optional<ConsoleKey> {
    if (!script.empty() && script.front().first == replay.producer.frames_written()) {
      pending.assign(script.front().second.begin(), script.front().second.end());
      script.pop_front();
    }
    if (pending.empty()) return std::nullopt;
    const ConsoleKey key = pending.front();
    pending.pop_front();
    return key;
  };
  ReplayPlan plan = whole(frames);
  plan.report_late_frames = true;
  replay.run(frames, plan);
  const auto& t = replay.producer.times;
  ASSERT_EQ(t.size(), 12u);
  EXPECT_EQ(t[1] - t[0], 100 * ms);
  EXPECT_EQ(t[2] - t[1], 50 * ms);                     // 2x, a new period from the key on
  EXPECT_EQ(t[5] - t[4], 6'250'000 / 1'000'000 * ms);  // 16x at most: 6.25 ms, slept as 6
  EXPECT_EQ(t[8] - t[7], 50 * ms);                     // 16x halved three times
  EXPECT_EQ(t[9] - t[8], 1000 * ms);                   // halved down to 0.1x at least
  EXPECT_NE(replay.progress_out.str().find("speed 16x"), std::string::npos);
  EXPECT_NE(replay.progress_out.str().find("speed 0.1x"), std::string::npos);
  // A long period is slept in pieces, so keys are answered within 50 ms.
  EXPECT_LE(*std::max_element(replay.sleeps.begin(), replay.sleeps.end()), 100);
  EXPECT_EQ(replay.out.str(), "Emulator reached end of file\nFrames written late: 0\n");
}

TEST(ReplayLoop, AStopBeforeTheFirstFrameWritesNothing) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 3));
  ScriptedReplay replay;
  replay.stop_flag = true;
  EXPECT_EQ(replay.run(frames, whole(frames)), ReplayEnd::stopped);
  EXPECT_EQ(replay.producer.frames_written(), 0u);
  EXPECT_EQ(replay.out.str(), "");
}

// The session prints only to the stream it is given, so a caller (or a
// test) decides where its lines go without touching the process's console.
TEST(ReplayLoop, ItsLinesGoToTheGivenStreamOnly) {
  const TempDirectory directory;
  DumpFrames frames(numbered_frames(directory, 10, 2));
  ScriptedReplay replay;
  ReplayPlan plan = whole(frames);
  plan.report_late_frames = true;
  const ConsoleCapture console;
  EXPECT_EQ(replay.run(frames, plan), ReplayEnd::end_of_file);
  EXPECT_EQ(replay.out.str(), "Emulator reached end of file\nFrames written late: 0\n");
  EXPECT_EQ(console.out(), "");
  EXPECT_EQ(console.err(), "");
}

}  // namespace

}  // namespace vove
