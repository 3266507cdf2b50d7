// The recorder's polling, and its cycle of one dump file per connection.
#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "common/explained_error.h"
#include "dumper/recording_cycle.h"
#include "dumper/recording_loops.h"
#include "dumper/time_stamp.h"
#include "unit/dump_test_support.h"

namespace {

using namespace dump_test;
using namespace std::chrono_literals;

// A source that follows a script and logs every connect; a connect past the
// script requests a stop.
class ScriptedSource : public Connector {
 public:
  ScriptedSource(std::string id, std::vector<std::string>& log, std::atomic<bool>& stop)
      : id_(std::move(id)), log_(log), stop_(stop) {}

  std::vector<bool> connects;  // false when used up
  std::vector<Bytes> frames;   // empty when used up

  bool connect(std::int32_t timeout_ms) override {
    log_.push_back(id_ + " connect(" + std::to_string(timeout_ms) + ")");
    if (next_connect_ == connects.size()) stop_ = true;
    return next_connect_ < connects.size() && connects[next_connect_++];
  }
  void disconnect() override {}
  FramePayload read_frame(std::int32_t) override {
    return next_frame_ < frames.size() ? frames[next_frame_++] : FramePayload{};
  }
  SourceId source_id() const override { return make_source_id(id_); }

  // One connection: the frames, then the 21 empty reads that end it.
  void script_recording(const std::vector<Bytes>& recorded) {
    connects.push_back(true);
    frames.insert(frames.end(), recorded.begin(), recorded.end());
    frames.insert(frames.end(), 21, Bytes{});
  }

 private:
  std::string id_;
  std::vector<std::string>& log_;
  std::atomic<bool>& stop_;
  std::size_t next_connect_ = 0, next_frame_ = 0;
};

struct Recorder : ::testing::Test {
  TempDirectory directory;
  std::vector<std::string> calls;
  std::atomic<bool> stop_flag{false};
  std::shared_ptr<ScriptedSource> iracing = std::make_shared<ScriptedSource>("irac", calls, stop_flag);
  std::ostringstream console;

  // Runs the cycle on the iRacing source until its script is used up; the
  // message of the error it ended with, if any.
  std::string cycle(std::function<std::unique_ptr<std::filebuf>()> make_file_buffer = [] {
    return std::make_unique<std::filebuf>();
  }) {
    stop_flag = false;
    console.str("");
    explanation.clear();
    try {
      run_recording_cycle(StopSignal::watching(stop_flag), 5,
                          {{iracing}, stepping_clock(1'000'000), [](std::int32_t) {},
                           [] { return std::chrono::system_clock::time_point{1710511629750ms}; }, directory.path(),
                           std::move(make_file_buffer), &console});
    } catch (const std::ios_base::failure& error) {
      if (const auto* explained = dynamic_cast<const ErrorExplanation*>(&error))
        explanation = explained->explanation();
      return error.what();
    }
    return "";
  }
  std::string explanation;  // the line under the error the last cycle ended with
  // The dump file of 2024-03-15 14:07:09.750 UTC.
  std::string path(const std::string& suffix = "") const {
    return (directory.path() / ("vove_dump_2024-03-15-14-07-09" + suffix + ".bin")).string();
  }
};

TEST_F(Recorder, SourcesArePolledInOrderAndTheFirstToConnectWins) {
  const auto acc = std::make_shared<ScriptedSource>("accz", calls, stop_flag);
  const SourceList sources{iracing, acc};
  std::shared_ptr<Connector> active;
  const auto wait = [&] {
    return wait_for_connection(StopSignal::watching(stop_flag), WaitContext{&sources, &active}, 1.0,
                               stepping_clock(1'000'000), [](std::int32_t) {}, console);
  };
  iracing->connects = {false, false, true};
  acc->connects = {false, true, true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(active, acc);
  calls.clear();
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, std::vector<std::string>{"irac connect(1000)"});
  EXPECT_EQ(active, iracing);
  EXPECT_EQ(console.str(), "Connected to accz\nConnected to irac\n");
}

// Twenty empty reads, a frame that starts the count again, then 21 more;
// a second connection gets a new file and an earlier file is never overwritten.
TEST_F(Recorder, TheTwentyFirstEmptyReadInARowEndsTheConnectionAndItsFile) {
  std::ofstream(path(), std::ios::binary) << "an earlier recording";
  iracing->frames.assign(20, Bytes{});
  iracing->script_recording({{1, 2, 3}, noise(500)});
  iracing->script_recording({{4}});
  EXPECT_EQ(cycle(), "");
  const auto recording = [](const std::string& name) {
    return "Waiting for the connection\nConnected to irac\nDump will be saved to " + name +
           "\nSaver started\nSource is down, disconnecting\n";
  };
  EXPECT_EQ(console.str(), recording(path("_1")) + recording(path("_2")) + "Waiting for the connection\n");
  EXPECT_EQ(contents(path()), "an earlier recording");
  EXPECT_EQ(frames_of(path("_1")), (std::vector<Bytes>{{1, 2, 3}, noise(500)}));
  EXPECT_EQ(frames_of(path("_2")), std::vector<Bytes>{{4}});
  EXPECT_EQ(iracing.use_count(), 1) << "the cycle released its sources";
}

TEST_F(Recorder, FileErrorsNameTheFileAndKeepTheCompleteRecords) {
  // Room for the header and the first record, not for the second.
  iracing->script_recording({Bytes(100, 7), noise(1000), {3}});
  EXPECT_EQ(cycle([] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(300); }),
            "Failed to write the file " + path() + ": iostream stream error");
  EXPECT_EQ(explanation, "Reason: " + std::generic_category().message(ENOSPC) + " (file " + path() + ")");
  EXPECT_LT(std::filesystem::file_size(path()), 300u) << "the partial record was cut off";
  EXPECT_EQ(frames_of(path()), std::vector<Bytes>{Bytes(100, 7)});

  // Not even the header fits: no empty, unreadable file is left behind.
  iracing->script_recording({{1}});
  EXPECT_EQ(cycle([] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(40); }),
            "Failed to write the file " + path("_1") + ": iostream stream error");
  EXPECT_EQ(explanation, "Reason: " + std::generic_category().message(ENOSPC) + " (file " + path("_1") + ")");
  EXPECT_FALSE(std::filesystem::exists(path("_1")));
}

}  // namespace

// Every field of a file's time stamp is zero-padded, so names sort by time.
TEST(DumpFileName, TimeStampIsUtcZeroPaddedToTheSecond) {
  using namespace std::chrono;
  EXPECT_EQ(utc_time_stamp(sys_days{2024y / 3 / 5} + 4h + 7min + 9s + 999ms), "2024-03-05-04-07-09");
  EXPECT_EQ(utc_time_stamp(sys_days{2026y / 12 / 31} + 23h + 59min + 58s), "2026-12-31-23-59-58");
}
