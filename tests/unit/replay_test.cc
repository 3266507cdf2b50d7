// The replay loop, and the replay program's teardown around it.
#include <gtest/gtest.h>

#include "emulator/emulator_entry.h"
#include "emulator/replay_loop.h"
#include "unit/console_capture.h"
#include "unit/dump_test_support.h"

namespace {

using namespace dump_test;

// Logs the frames it is given, and its release on the console.
struct FakeProducer : Emulator {
  std::vector<Bytes> written;
  std::function<void()> on_start = [] {};
  std::function<void()> on_write = [] {};

  ~FakeProducer() override { std::cout << "(producer released)\n"; }
  void start() override { on_start(); }
  void write_frame(const std::vector<std::uint8_t>& frame) override {
    written.push_back(frame);
    on_write();
  }
  void stop() override {}
};

TEST(ReplayLoop, WritesEveryFrameBeforeAStopAndReportsTheEndOfTheFile) {
  const std::vector<Bytes> frames = {noise(10, 1), noise(20, 2), noise(30, 3)};
  const struct {
    std::int32_t fps;
    std::size_t stop_at;               // a stop is requested while this frame is written; 0: never
    std::vector<std::int32_t> sleeps;  // the rest of each period after 2.5 ms of work
  } cases[] = {{60, 0, {14, 14, 14}}, {0, 0, {}}, {-5, 0, {}}, {60, 2, {14, 14}}};
  for (const auto& replay : cases) {
    std::string bytes = header(replay.fps);
    for (const Bytes& frame : frames) bytes += record(frame);
    std::istringstream input(bytes);
    DumpReader reader(input);
    std::atomic<bool> stop_flag{false};
    const ConsoleCapture console;
    FakeProducer producer;
    producer.on_write = [&] { stop_flag = producer.written.size() == replay.stop_at; };
    SleepLog sleeps;
    const ReplayEnd end = run_replay_loop(StopSignal::watching(stop_flag), producer, reader, reader.fps(),
                                          stepping_clock(2'500'000), sleeps.sleeper());
    const bool stopped = replay.stop_at != 0;
    EXPECT_EQ(end, stopped ? ReplayEnd::stopped : ReplayEnd::end_of_file);
    EXPECT_EQ(producer.written, std::vector<Bytes>(frames.begin(), frames.begin() + (stopped ? replay.stop_at : frames.size()))) << replay.fps;
    EXPECT_EQ(sleeps.calls, replay.sleeps) << replay.fps;
    EXPECT_EQ(console.out(), stopped ? "" : "Emulator reached end of file\n");
  }
}

TEST(EmulatorEntry, TheProducerIsReleasedBeforeAnythingMoreIsPrinted) {
  const std::string chosen = "Using emulator: fake\n";
  const std::string started = chosen + "Frames per second: 0\nEmulator started\n";
  const std::string released_then_error = "(producer released)\nAn error occurred: ";
  const std::string good = header(0, "fake") + record(noise(10)) + record(noise(20));
  const struct {
    std::string bytes;
    bool start_fails;
    bool stop_signal_fails;
    std::string output;  // before the closing lines
  } cases[] = {
      {header(0, "fake"), false, false, started + "Emulator reached end of file\n(producer released)\n"},
      {good + raw_record(40, 100, std::string(40, 0x5a)), false, false,
       started + released_then_error + "Failed to decompress data. File is corrupted?\n"},
      {good, true, false, chosen + released_then_error + "Failed to create file mapping\n"},
      {good, false, true, chosen + released_then_error + "Error setting console control handler.\n"},
  };
  for (const auto& replay : cases) {
    const TempDirectory directory;
    const std::string path = directory.write("recording.bin", replay.bytes);
    const char* argv[] = {"emulator", "--input-file", path.c_str()};
    const ConsoleCapture console;
    EmulatorDependencies dependencies;
    dependencies.make_table = [&] {
      auto producer = std::make_shared<FakeProducer>();
      if (replay.start_fails) producer->on_start = [] { throw std::runtime_error("Failed to create file mapping"); };
      return ProducerTable{{make_source_id("fake"), producer}};
    };
    std::atomic<bool> never{false};
    dependencies.make_stop_signal = [&] {
      if (replay.stop_signal_fails) throw std::runtime_error("Error setting console control handler.");
      return StopSignal::watching(never);
    };
    EXPECT_EQ(run_emulator(3, argv, dependencies), 0);
    EXPECT_EQ(console.out(), replay.output + "Emulator thread stopped.\nYou can now close this window.\n");
  }
}

}  // namespace
