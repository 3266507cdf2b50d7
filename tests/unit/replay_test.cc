// The replay program's teardown: the producer is released before anything
// more is printed.
#include <gtest/gtest.h>

#include "emulator/emulator_entry.h"
#include "unit/console_capture.h"
#include "unit/dump_test_support.h"

namespace vove {

namespace {

using namespace dump_test;

// Logs its release on the console.
struct FakeProducer : Producer {
  bool start_fails = false;
  ~FakeProducer() override { std::cout << "(producer released)\n"; }
  void start() override {
    if (start_fails) throw std::runtime_error("Failed to create file mapping");
  }
  void write_frame(const std::vector<std::uint8_t>&) override {}
  void stop() override {}
};

TEST(EmulatorEntry, TheProducerIsReleasedBeforeTheErrorAndClosingLines) {
  const std::string chosen = "Using emulator: fake\n";
  const std::string started = chosen + "Frames per second: 0\nEmulator started\n";
  const std::string released_then_error = "(producer released)\nAn error occurred: ";
  const std::string good = header(0, "fake") + record(noise(10));
  const struct {
    std::string bytes;
    bool start_fails;
    bool stop_signal_fails;
    std::string output;  // before the closing lines
  } cases[] = {
      {good, false, false, started + "Emulator reached end of file\n(producer released)\n"},
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
      producer->start_fails = replay.start_fails;
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

}  // namespace vove
