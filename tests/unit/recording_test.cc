// The recorder's loops, and its cycle of one dump file per connection.
#include <gtest/gtest.h>

#include "dumper/recording_cycle.h"
#include "dumper/recording_loops.h"
#include "emulator/dump_reader.h"
#include "unit/dump_test_support.h"

namespace {

using namespace dump_test;
using namespace std::chrono_literals;

constexpr std::int64_t millisecond = 1'000'000;

// The frames of a written dump, as the replay reads them.
std::vector<Bytes> frames_of(const std::string& dump) {
  std::istringstream in(dump);
  DumpReader reader(in);
  std::vector<Bytes> frames;
  for (Bytes frame = reader.next_frame(); !frame.empty(); frame = reader.next_frame()) frames.push_back(frame);
  return frames;
}

// A source that follows a script and logs every call as "<id> <call>".
class ScriptedSource : public Connector {
 public:
  ScriptedSource(std::string id, std::vector<std::string>& log) : id_(std::move(id)), log_(log) {}

  std::vector<bool> connects;         // false when used up
  std::vector<Bytes> frames;          // empty when used up
  std::atomic<bool>* stop = nullptr;  // set by a connect() past the script

  bool connect(std::int32_t timeout_ms) override {
    log_.push_back(id_ + " connect(" + std::to_string(timeout_ms) + ")");
    if (next_connect_ == connects.size() && stop != nullptr) *stop = true;
    return next_connect_ < connects.size() && connects[next_connect_++];
  }
  void disconnect() override { log_.push_back(id_ + " disconnect"); }
  FramePayload read_frame(std::int32_t timeout_ms) override {
    log_.push_back(id_ + " read_frame(" + std::to_string(timeout_ms) + ")");
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
  std::size_t next_connect_ = 0;
  std::size_t next_frame_ = 0;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Recorder : ::testing::Test {
  TempDirectory directory;
  std::vector<std::string> calls;
  std::shared_ptr<ScriptedSource> iracing = std::make_shared<ScriptedSource>("irac", calls);
  std::shared_ptr<ScriptedSource> acc = std::make_shared<ScriptedSource>("accz", calls);
  std::shared_ptr<Connector> active;
  std::atomic<bool> stop_flag{false};
  SleepLog sleeps{{}, &stop_flag, 0};
  std::ostringstream console;
  std::ostringstream file;
  DumpWriter writer{file, 5, make_source_id("irac")};

  bool wait() {
    const SourceList sources{iracing, acc};
    return wait_for_connection(StopSignal::watching(stop_flag), WaitContext{&sources, &active}, 1.0,
                               stepping_clock(millisecond), sleeps.sleeper(), console);
  }
  bool record(std::int32_t fps = 5) {
    active = iracing;
    std::int32_t empty_reads = 0;
    return record_frames(StopSignal::watching(stop_flag), RecordContext{&active, &writer, &empty_reads, fps}, fps,
                         stepping_clock(millisecond), sleeps.sleeper(), console);
  }
  // Runs the whole cycle on the iRacing source until its script is used up;
  // the message of the error it ended with, if any.
  std::string cycle(std::function<void(RecordingEnvironment&)> change = nullptr) {
    iracing->stop = &stop_flag;
    RecordingEnvironment environment{{iracing}, stepping_clock(millisecond), sleeps.sleeper(),
                                     [] { return std::chrono::system_clock::time_point{1710511629750ms}; },
                                     directory.path(), [] { return std::make_unique<std::filebuf>(); }, &console};
    if (change) change(environment);
    try {
      run_recording_cycle(StopSignal::watching(stop_flag), 5, std::move(environment));
    } catch (const std::ios_base::failure& error) {
      return error.what();
    }
    return "";
  }
  // The dump file of 2024-03-15 14:07:09.750 UTC.
  std::string path(const std::string& suffix = "") const {
    return (directory.path() / ("vove_dump_2024-03-15-14-07-09" + suffix + ".bin")).string();
  }
};

TEST_F(Recorder, SourcesArePolledInOrderAndTheFirstToConnectWins) {
  acc->connects = {false, true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, (std::vector<std::string>{"irac connect(1000)", "accz connect(1000)", "irac connect(1000)",
                                             "accz connect(1000)"}));
  EXPECT_EQ(active, acc);
  EXPECT_EQ(sleeps.calls, std::vector<std::int32_t>{999}) << "one poll a second, no sleep after the connection";

  calls.clear();
  iracing->connects = {true};
  acc->connects = {true};
  EXPECT_TRUE(wait());
  EXPECT_EQ(calls, std::vector<std::string>{"irac connect(1000)"});
  EXPECT_EQ(active, iracing);
  EXPECT_EQ(console.str(), "Connected to accz\nConnected to irac\n");
}

TEST_F(Recorder, TheTwentyFirstEmptyReadInARowDisconnects) {
  // Twenty empty reads, a frame that starts the count again, then 21 more.
  iracing->frames.assign(20, Bytes{});
  iracing->script_recording({{1, 2, 3}});
  EXPECT_TRUE(record());
  EXPECT_EQ(calls.size(), 20u + 1 + 21 + 1);
  EXPECT_EQ(calls.back(), "irac disconnect");
  EXPECT_EQ(console.str(), "Source is down, disconnecting\n");
  EXPECT_EQ(frames_of(file.str()), (std::vector<Bytes>{{1, 2, 3}}));
}

TEST_F(Recorder, ReadsWaitAThousandMillisecondsDividedByTheRateAndAStopKeepsTheSource) {
  iracing->frames = {{1}, {2}, {3}, {4}};
  for (const auto& [fps, timeout] : {std::pair{1, "1000"}, {5, "200"}, {30, "33"}, {60, "16"}}) {
    calls.clear();
    stop_flag = false;
    sleeps.stop_at = sleeps.calls.size() + 1;
    EXPECT_FALSE(record(fps));
    EXPECT_EQ(calls, std::vector<std::string>{"irac read_frame(" + std::string(timeout) + ")"}) << "no disconnect";
  }
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(frames_of(file.str()), (std::vector<Bytes>{{1}, {2}, {3}, {4}}));
  calls.clear();
  EXPECT_THROW(record(0), std::invalid_argument);
  EXPECT_TRUE(calls.empty());
}

TEST_F(Recorder, EachConnectionGetsANewFileAndNoneIsOverwritten) {
  std::ofstream(path(), std::ios::binary) << "an earlier recording";
  iracing->script_recording({{1, 2, 3}, noise(500)});
  iracing->script_recording({{4}});
  EXPECT_EQ(cycle(), "");
  const auto recording = [](const std::string& name) {
    return "Waiting for the connection\nConnected to irac\nDump will be saved to " + name +
           "\nSaver started\nSource is down, disconnecting\n";
  };
  EXPECT_EQ(console.str(), recording(path("_1")) + recording(path("_2")) + "Waiting for the connection\n");
  EXPECT_EQ(read_file(path()), "an earlier recording");
  EXPECT_EQ(read_file(path("_1")).substr(0, 16), std::string("SHMTRACE\x05\0\0\0irac", 16));
  EXPECT_EQ(frames_of(read_file(path("_1"))), (std::vector<Bytes>{{1, 2, 3}, noise(500)}));
  EXPECT_EQ(frames_of(read_file(path("_2"))), std::vector<Bytes>{{4}});
  EXPECT_EQ(iracing.use_count(), 1) << "the cycle released its sources";
}

TEST_F(Recorder, FileErrorsNameTheFileAndKeepTheCompleteRecords) {
  // Room for the header and the first record, not for the second.
  iracing->script_recording({Bytes(100, 7), noise(1000), {3}});
  EXPECT_EQ(cycle([](auto& environment) {
              environment.make_file_buffer = [] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(300); };
            }),
            "Failed to write the file " + path() + ": iostream stream error");
  const std::string bytes = read_file(path());
  EXPECT_LT(bytes.size(), 300u) << "the partial record was cut off";
  EXPECT_EQ(frames_of(bytes), std::vector<Bytes>{Bytes(100, 7)});

  // Not even the header fits: no empty, unreadable file is left behind.
  console.str("");
  stop_flag = false;
  iracing->script_recording({{1}});
  EXPECT_EQ(cycle([](auto& environment) {
              environment.make_file_buffer = [] { return std::make_unique<RunsOutOfRoom<std::filebuf>>(40); };
            }),
            "Failed to write the file " + path("_1") + ": iostream stream error");
  EXPECT_FALSE(std::filesystem::exists(path("_1")));

  console.str("");
  stop_flag = false;
  iracing->script_recording({{1}});
  const auto missing = directory.path() / "missing";
  EXPECT_EQ(cycle([&](auto& environment) { environment.directory = missing; }),
            "Failed to open the file " + (missing / "vove_dump_2024-03-15-14-07-09.bin").string() +
                ": iostream stream error");
  EXPECT_EQ(console.str(), "Waiting for the connection\nConnected to irac\n");
}

}  // namespace
