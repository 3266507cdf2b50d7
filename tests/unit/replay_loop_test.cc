#include "emulator/replay_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "unit/console_capture.h"
#include "unit/dump_bytes.h"

namespace {

using dump_bytes::Bytes;
using dump_bytes::payload;

// Remembers the frames written into it; once it has written `stop_after`
// frames it sets the stop flag, as Ctrl+C during that frame would.
class RecordingProducer : public Emulator {
 public:
  explicit RecordingProducer(std::atomic<bool>& stop_flag, std::size_t stop_after = 0)
      : stop_flag_(stop_flag), stop_after_(stop_after) {}
  void start() override {}
  void write_frame(const std::vector<std::uint8_t>& frame) override {
    written.push_back(frame);
    if (written.size() == stop_after_) stop_flag_ = true;
  }
  void stop() override {}

  std::vector<Bytes> written;

 private:
  std::atomic<bool>& stop_flag_;
  std::size_t stop_after_;
};

// A clock that advances 2.5 ms of work per frame and lands exactly on the
// requested wake-up after each sleep.
struct ScriptedTime {
  std::int64_t now = 1'000'000'000;
  std::vector<std::int32_t> sleeps;

  SteadyClock clock() {
    return [this] {
      const std::int64_t reading = now;
      now += 2'500'000;
      return reading;
    };
  }
  Sleeper sleeper() {
    return [this](std::int32_t milliseconds) { sleeps.push_back(milliseconds); };
  }
};

struct Replay {
  explicit Replay(std::vector<Bytes> frames_to_record, std::int32_t rate = 60, std::size_t stop_after_frames = 0)
      : frames(std::move(frames_to_record)), fps(rate), stop_after(stop_after_frames) {}

  std::vector<Bytes> frames;
  std::int32_t fps;
  std::size_t stop_after;
  bool stop_before_start = false;

  std::vector<Bytes> written;
  std::vector<std::int32_t> sleeps;
  std::string output;
  ReplayEnd end = ReplayEnd::stopped;

  void run() {
    std::string bytes = dump_bytes::header(fps);
    for (const Bytes& frame : frames) bytes += dump_bytes::record(frame);
    std::istringstream input(bytes);
    DumpReader reader(input);
    std::atomic<bool> flag{stop_before_start};
    RecordingProducer producer(flag, stop_after);
    ScriptedTime time;
    ConsoleCapture console;
    end = run_replay_loop(StopSignal::watching(flag), producer, reader, reader.fps(), time.clock(), time.sleeper());
    written = producer.written;
    sleeps = time.sleeps;
    output = console.out();
  }
};

TEST(ReplayLoop, WritesEveryFrameInOrderThenReportsTheEnd) {
  Replay replay{{payload(10, 1), payload(20, 2), payload(30, 3)}};
  replay.run();
  EXPECT_EQ(replay.end, ReplayEnd::end_of_file);
  EXPECT_EQ(replay.written, replay.frames);
  EXPECT_EQ(replay.output, "Emulator reached end of file\n");
}

TEST(ReplayLoop, SleepsTheRestOfEachPeriodAtTheFileRate) {
  Replay replay{{payload(10, 1), payload(20, 2)}, 60};
  replay.run();
  // 16 666 666 ns minus 2.5 ms of work, in whole milliseconds; no sleep
  // after the end of the file.
  EXPECT_EQ(replay.sleeps, (std::vector<std::int32_t>{14, 14}));
}

TEST(ReplayLoop, RateOfZeroOrLessNeverSleeps) {
  for (const std::int32_t fps : {0, -5}) {
    Replay replay{{payload(10, 1), payload(20, 2), payload(30, 3)}, fps};
    replay.run();
    EXPECT_EQ(replay.written.size(), 3u);
    EXPECT_TRUE(replay.sleeps.empty()) << fps;
    EXPECT_EQ(replay.end, ReplayEnd::end_of_file);
  }
}

TEST(ReplayLoop, StopsOnlyAfterTheFrameInProgressIsWrittenAndItsSleep) {
  Replay replay{{payload(10, 1), payload(20, 2), payload(30, 3)}, 60, 2};
  replay.run();
  EXPECT_EQ(replay.end, ReplayEnd::stopped);
  EXPECT_EQ(replay.written, (std::vector<Bytes>{payload(10, 1), payload(20, 2)}));
  EXPECT_EQ(replay.sleeps.size(), 2u);
  EXPECT_EQ(replay.output, "");
}

TEST(ReplayLoop, StopBeforeStartReadsNothing) {
  Replay replay{{payload(10, 1)}};
  replay.stop_before_start = true;
  replay.run();
  EXPECT_EQ(replay.end, ReplayEnd::stopped);
  EXPECT_TRUE(replay.written.empty());
}

TEST(ReplayLoop, EmptyPayloadEndsTheReplayLikeTheEndOfTheFile) {
  Replay replay{{payload(10, 1), Bytes{}, payload(30, 3)}};
  replay.run();
  EXPECT_EQ(replay.end, ReplayEnd::end_of_file);
  EXPECT_EQ(replay.written.size(), 1u);
}

}  // namespace
