#include "dumper/recording_loops.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "unit/recorder_test_support.h"

using recorder_test::decode_dump;
using recorder_test::recording_sleeper;
using recorder_test::ScriptedConnector;
using recorder_test::SleepLog;
using recorder_test::stepping_clock;

namespace {

constexpr std::int64_t millisecond = 1'000'000;

struct WaitForConnection : ::testing::Test {
  std::vector<std::string> calls;
  std::shared_ptr<ScriptedConnector> iracing = std::make_shared<ScriptedConnector>("irac", calls);
  std::shared_ptr<ScriptedConnector> acc = std::make_shared<ScriptedConnector>("accz", calls);
  SourceList sources{iracing, acc};
  std::shared_ptr<Connector> active;
  std::atomic<bool> stop_flag{false};
  StopSignal stop = StopSignal::watching(stop_flag);
  SleepLog sleeps{{}, &stop_flag, 0};
  std::ostringstream console;

  bool wait() {
    return wait_for_connection(stop, WaitContext{&sources, &active}, 1.0, stepping_clock(millisecond),
                               recording_sleeper(sleeps), console);
  }
};

struct RecordFrames : ::testing::Test {
  std::vector<std::string> calls;
  std::shared_ptr<ScriptedConnector> source = std::make_shared<ScriptedConnector>("irac", calls);
  std::shared_ptr<Connector> active = source;
  std::ostringstream file;
  DumpWriter writer{file, 5, make_source_id("irac")};
  std::int32_t empty_reads = 0;
  std::atomic<bool> stop_flag{false};
  StopSignal stop = StopSignal::watching(stop_flag);
  SleepLog sleeps{{}, &stop_flag, 0};
  std::ostringstream console;

  bool record(std::int32_t fps = 5) {
    return record_frames(stop, RecordContext{&active, &writer, &empty_reads, fps}, fps,
                         stepping_clock(millisecond), recording_sleeper(sleeps), console);
  }
  void script_empty_reads(int count) {
    for (int i = 0; i < count; ++i) source->frames.emplace_back();
  }
  std::size_t reads() const {
    std::size_t count = 0;
    for (const auto& call : calls) count += call.rfind("irac read_frame", 0) == 0 ? 1 : 0;
    return count;
  }
};

}  // namespace

TEST_F(WaitForConnection, PollsTheSourcesInOrderUntilOneConnects) {
  acc->connect_results = {false, true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, (std::vector<std::string>{"irac connect(1000)", "accz connect(1000)", "irac connect(1000)",
                                             "accz connect(1000)"}));
  EXPECT_EQ(active, acc);
  EXPECT_EQ(console.str(), "Connected to accz\n");
  // One pacing sleep after the failed poll, none after the connection.
  EXPECT_EQ(sleeps.calls, (std::vector<std::int32_t>{999}));
}

TEST_F(WaitForConnection, TheFirstSourceThatConnectsWinsAndLaterOnesAreNotTried) {
  active = acc;  // left from an earlier connection
  iracing->connect_results = {true};
  acc->connect_results = {true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, (std::vector<std::string>{"irac connect(1000)"}));
  EXPECT_EQ(active, iracing);
  EXPECT_EQ(console.str(), "Connected to irac\n");
}

TEST_F(WaitForConnection, AStopEndsThePollBetweenIterations) {
  sleeps.stop_at = 3;
  EXPECT_FALSE(wait());
  EXPECT_EQ(calls.size(), 6u);
  EXPECT_EQ(active, nullptr);
  EXPECT_EQ(console.str(), "");

  stop_flag = true;  // already requested: no source is tried
  calls.clear();
  EXPECT_FALSE(wait());
  EXPECT_TRUE(calls.empty());
}

TEST_F(RecordFrames, TheTwentyFirstEmptyReadInARowDisconnects) {
  script_empty_reads(30);
  EXPECT_TRUE(record());
  EXPECT_EQ(reads(), 21u);
  EXPECT_EQ(calls.back(), "irac disconnect");
  EXPECT_EQ(empty_reads, 21);
  EXPECT_EQ(console.str(), "Source is down, disconnecting\n");
  EXPECT_EQ(sleeps.calls.size(), 20u) << "no pacing sleep after the source went down";
  EXPECT_EQ(file.str().size(), 72u);
}

TEST_F(RecordFrames, AFrameAfterTwentyEmptyReadsStartsTheCountAgain) {
  script_empty_reads(20);
  source->frames.push_back({1, 2, 3});
  script_empty_reads(20);
  sleeps.stop_at = 41;
  EXPECT_FALSE(record());
  EXPECT_EQ(reads(), 41u);
  EXPECT_EQ(empty_reads, 20);
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(decode_dump(file.str()).frames, (std::vector<FramePayload>{{1, 2, 3}}));
}

TEST_F(RecordFrames, AStopKeepsTheSourceConnectedAndTheLastFrameWritten) {
  source->frames = {{1}, {2}, {3}, {4}};
  sleeps.stop_at = 3;
  EXPECT_FALSE(record());
  EXPECT_EQ(reads(), 3u);
  EXPECT_EQ(calls.back(), "irac read_frame(200)") << "no disconnect on a stop";
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(decode_dump(file.str()).frames, (std::vector<FramePayload>{{1}, {2}, {3}}));
}

TEST_F(RecordFrames, ReadsWaitAThousandMillisecondsDividedByTheRate) {
  const std::vector<std::pair<std::int32_t, std::string>> expected = {
      {1, "irac read_frame(1000)"}, {5, "irac read_frame(200)"}, {30, "irac read_frame(33)"},
      {60, "irac read_frame(16)"}};
  for (const auto& [fps, call] : expected) {
    calls.clear();
    stop_flag = false;
    sleeps = SleepLog{{}, &stop_flag, 1};
    EXPECT_FALSE(record(fps));
    EXPECT_EQ(calls, (std::vector<std::string>{call})) << fps;
  }
  // The pacing sleeps the rest of the period: 1 ms of work at 60 Hz.
  EXPECT_EQ(sleeps.calls, (std::vector<std::int32_t>{15}));
}

TEST_F(RecordFrames, ARateBelowOneIsRejectedBeforeAnyRead) {
  EXPECT_THROW(record(0), std::invalid_argument);
  EXPECT_TRUE(calls.empty());
}
