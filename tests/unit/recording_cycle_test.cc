#include "dumper/recording_cycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <ios>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dumper/dump_file_errors.h"
#include "dumper/time_stamp.h"
#include "unit/recorder_test_support.h"

using recorder_test::decode_dump;
using recorder_test::FullDiskFile;
using recorder_test::noise;
using recorder_test::read_file;
using recorder_test::recording_sleeper;
using recorder_test::ScriptedConnector;
using recorder_test::SleepLog;
using recorder_test::stepping_clock;
using recorder_test::TempDirectory;

namespace {

// 2024-03-15 14:07:09.750 UTC
const std::chrono::system_clock::time_point recording_time{std::chrono::milliseconds(1710511629750)};
const std::string stamp = "2024-03-15-14-07-09";

struct RecordingCycle : ::testing::Test {
  TempDirectory directory;
  std::vector<std::string> calls;
  std::shared_ptr<ScriptedConnector> source = std::make_shared<ScriptedConnector>("irac", calls);
  std::atomic<bool> stop_flag{false};
  StopSignal stop = StopSignal::watching(stop_flag);
  SleepLog sleeps;
  std::ostringstream console;
  std::function<std::unique_ptr<std::filebuf>()> make_file_buffer = [] { return std::make_unique<std::filebuf>(); };

  RecordingCycle() {
    // The source is polled once more after its scripted connections; that
    // poll ends the run.
    source->when_connects_used_up = [this] { stop_flag = true; };
  }

  void run(std::int32_t fps = 5) { run_recording_cycle(stop, fps, environment()); }

  RecordingEnvironment environment() {
    RecordingEnvironment environment;
    environment.sources = {source};
    environment.clock = stepping_clock(1'000'000);
    environment.sleeper = recording_sleeper(sleeps);
    environment.wall_clock = [] { return recording_time; };
    environment.directory = directory.path();
    environment.make_file_buffer = make_file_buffer;
    environment.console = &console;
    return environment;
  }

  std::string file(const std::string& name) const { return (directory.path() / name).string(); }

  // One recording: the frames, then 21 empty reads.
  void script_recording(const std::vector<FramePayload>& frames) {
    source->connect_results.push_back(true);
    for (const auto& frame : frames) source->frames.push_back(frame);
    for (int i = 0; i < 21; ++i) source->frames.emplace_back();
  }
};

}  // namespace

TEST(TimeStamp, IsUtcToTheWholeSecond) {
  EXPECT_EQ(utc_time_stamp(recording_time), stamp);
  EXPECT_EQ(utc_time_stamp(std::chrono::system_clock::time_point{}), "1970-01-01-00-00-00");
  // Day counting across years that are (2024) and are not (2100) leap years.
  EXPECT_EQ(utc_time_stamp(std::chrono::system_clock::time_point{std::chrono::seconds(4107542399)}),
            "2100-02-28-23-59-59");
  EXPECT_EQ(utc_time_stamp(std::chrono::system_clock::time_point{std::chrono::seconds(1709251199)}),
            "2024-02-29-23-59-59");
}

TEST_F(RecordingCycle, RecordsEachConnectionIntoItsOwnFile) {
  script_recording({{1, 2, 3}, noise(500)});
  run();

  const std::string name = file("vove_dump_" + stamp + ".bin");
  EXPECT_EQ(console.str(), "Waiting for the connection\n"
                           "Connected to irac\n"
                           "Dump will be saved to " + name + "\n"
                           "Saver started\n"
                           "Source is down, disconnecting\n"
                           "Waiting for the connection\n");
  const auto dump = decode_dump(read_file(name));
  EXPECT_EQ(dump.header.substr(8, 8), std::string("\x05\x00\x00\x00irac", 8));
  EXPECT_EQ(dump.frames, (std::vector<FramePayload>{{1, 2, 3}, noise(500)}));
  EXPECT_EQ(source.use_count(), 1) << "the cycle released its sources";
}

TEST_F(RecordingCycle, RecordingsInTheSameSecondNeverOverwriteAFile) {
  const std::string earlier = file("vove_dump_" + stamp + ".bin");
  std::ofstream(earlier, std::ios::binary) << "an earlier recording";
  script_recording({{1}});
  script_recording({{2}});
  run();

  EXPECT_EQ(read_file(earlier), "an earlier recording");
  EXPECT_EQ(decode_dump(read_file(file("vove_dump_" + stamp + "_1.bin"))).frames,
            (std::vector<FramePayload>{{1}}));
  EXPECT_EQ(decode_dump(read_file(file("vove_dump_" + stamp + "_2.bin"))).frames,
            (std::vector<FramePayload>{{2}}));
  EXPECT_NE(console.str().find("Dump will be saved to " + file("vove_dump_" + stamp + "_2.bin") + "\n"),
            std::string::npos);
}

TEST_F(RecordingCycle, AStopWhileWaitingCreatesNoFile) {
  run();
  EXPECT_EQ(console.str(), "Waiting for the connection\n");
  EXPECT_TRUE(std::filesystem::is_empty(directory.path()));
}

TEST_F(RecordingCycle, AStopWhileRecordingKeepsEveryFrameAndTheConnection) {
  source->connect_results = {true};
  source->frames = {{1}, {2}, {3}};
  sleeps = SleepLog{{}, &stop_flag, 2};
  run();
  EXPECT_EQ(decode_dump(read_file(file("vove_dump_" + stamp + ".bin"))).frames,
            (std::vector<FramePayload>{{1}, {2}}));
  EXPECT_EQ(calls.back(), "irac read_frame(200)");
}

TEST_F(RecordingCycle, AFailedWriteNamesTheFileAndKeepsTheCompleteRecords) {
  // Room for the header and the first record, not for the second.
  make_file_buffer = [] { return std::make_unique<FullDiskFile>(300); };
  script_recording({FramePayload(100, 7), noise(1000), {3}});
  const std::string name = file("vove_dump_" + stamp + ".bin");

  try {
    run();
    FAIL() << "the failed write went unreported";
  } catch (const std::ios_base::failure& error) {
    EXPECT_STREQ(error.what(), ("Failed to write the file " + name + ": iostream stream error").c_str());
  }
  const std::string bytes = read_file(name);
  EXPECT_LT(bytes.size(), 300u) << "the partial record was cut off";
  EXPECT_EQ(decode_dump(bytes).frames, (std::vector<FramePayload>{FramePayload(100, 7)}));
}

TEST_F(RecordingCycle, AFileThatCannotBeCreatedGivesTheExactMessage) {
  script_recording({{1}});
  const std::filesystem::path missing = directory.path() / "missing";
  auto environment = this->environment();
  environment.directory = missing;
  const std::string name = (missing / ("vove_dump_" + stamp + ".bin")).string();

  try {
    run_recording_cycle(stop, 5, std::move(environment));
    FAIL() << "no error for a file that cannot be created";
  } catch (const std::ios_base::failure& error) {
    EXPECT_STREQ(error.what(), ("Failed to open the file " + name + ": iostream stream error").c_str());
  }
  EXPECT_EQ(console.str(), "Waiting for the connection\nConnected to irac\n");
}

TEST_F(RecordingCycle, AReadOnlyDirectoryGivesTheExactMessage) {
  namespace fs = std::filesystem;
  fs::permissions(directory.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  if (std::ofstream(directory.path() / "probe")) GTEST_SKIP() << "permissions do not bind this user";
  script_recording({{1}});
  const std::string name = file("vove_dump_" + stamp + ".bin");
  try {
    run();
    FAIL() << "no error for a read-only directory";
  } catch (const std::ios_base::failure& error) {
    EXPECT_STREQ(error.what(), ("Failed to open the file " + name + ": iostream stream error").c_str());
  }
}
