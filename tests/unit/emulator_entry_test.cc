#include "emulator/emulator_entry.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "unit/console_capture.h"
#include "unit/dump_bytes.h"

namespace {

using dump_bytes::Bytes;
using dump_bytes::payload;

const std::string closing_lines = "Emulator thread stopped.\nYou can now close this window.\n";

struct ProducerLog {
  int starts = 0;
  std::vector<Bytes> written;
  bool destroyed = false;
  std::string output_when_destroyed;
};

class FakeProducer : public Emulator {
 public:
  FakeProducer(ProducerLog& log, const ConsoleCapture& console, std::function<void()> on_start,
               std::function<void()> on_write)
      : log_(log), console_(console), on_start_(std::move(on_start)), on_write_(std::move(on_write)) {}
  ~FakeProducer() override {
    log_.destroyed = true;
    log_.output_when_destroyed = console_.out();
  }
  void start() override {
    ++log_.starts;
    if (on_start_) on_start_();
  }
  void write_frame(const std::vector<std::uint8_t>& frame) override {
    log_.written.push_back(frame);
    if (on_write_) on_write_();
  }
  void stop() override {}

 private:
  ProducerLog& log_;
  const ConsoleCapture& console_;
  std::function<void()> on_start_;
  std::function<void()> on_write_;
};

// Runs the whole program in this process with two fake producers, "fake"
// and "idle", a stop flag of the test's own and a temporary directory.
class EmulatorEntry : public ::testing::Test {
 protected:
  EmulatorEntry() {
    static int next = 0;
    directory_ = std::filesystem::temp_directory_path() /
                 ("vove_emulator_entry_" + std::to_string(::getpid()) + "_" + std::to_string(next++));
    std::filesystem::create_directories(directory_);
  }
  ~EmulatorEntry() override { std::filesystem::remove_all(directory_); }

  std::string write_file(const std::string& bytes) {
    const std::filesystem::path path = directory_ / "recording.bin";
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "emulator");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());

    EmulatorDependencies dependencies;
    dependencies.make_table = [this] {
      ++tables_built;
      ProducerTable table;
      table[make_source_id("fake")] = std::make_shared<FakeProducer>(fake, console, on_start, on_write);
      table[make_source_id("idle")] = std::make_shared<FakeProducer>(idle, console, nullptr, nullptr);
      return table;
    };
    dependencies.make_stop_signal = [this] {
      if (fail_stop_signal) throw std::runtime_error("Error setting console control handler.");
      return StopSignal::watching(stop_flag);
    };
    return run_emulator(static_cast<int>(argv.size()), argv.data(), dependencies);
  }

  ConsoleCapture console;
  ProducerLog fake;
  ProducerLog idle;
  std::function<void()> on_start;
  std::function<void()> on_write;
  std::atomic<bool> stop_flag{false};
  bool fail_stop_signal = false;
  int tables_built = 0;

 private:
  std::filesystem::path directory_;
};

TEST_F(EmulatorEntry, MissingInputFileOptionIsACommandLineError) {
  EXPECT_EQ(run({}), 1);
  EXPECT_EQ(console.err(), "Error: the option '--input-file' is required but missing\n");
  EXPECT_EQ(console.out(), "");
  EXPECT_EQ(tables_built, 0);
}

TEST_F(EmulatorEntry, HelpListsTheOptionsAndExitsWithOne) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--help"}, std::vector<std::string>{"--help", "--input-file", "x.bin"}}) {
    ConsoleCapture capture;
    EXPECT_EQ(run(arguments), 1);
    const std::string out = capture.out();
    EXPECT_EQ(out.rfind("Allowed options:\n", 0), 0u) << out;
    EXPECT_NE(out.find("--help"), std::string::npos);
    EXPECT_NE(out.find("Produce help message"), std::string::npos);
    EXPECT_NE(out.find("--input-file arg"), std::string::npos);
    EXPECT_NE(out.find("Input file name"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 2), "\n\n");
    EXPECT_EQ(capture.err(), "");
  }
  EXPECT_EQ(tables_built, 0);
}

TEST_F(EmulatorEntry, UnknownOptionWinsOverHelp) {
  EXPECT_EQ(run({"--help", "--bogus"}), 1);
  EXPECT_EQ(console.err(), "Error: unrecognised option '--bogus'\n");
  EXPECT_EQ(console.out(), "");
}

TEST_F(EmulatorEntry, RepeatedInputFileIsACommandLineError) {
  EXPECT_EQ(run({"--input-file", "a.bin", "--input-file", "b.bin"}), 1);
  EXPECT_EQ(console.err().rfind("Error: ", 0), 0u);
  EXPECT_EQ(tables_built, 0);
}

TEST_F(EmulatorEntry, MissingFileIsReportedAfterTheCommandLine) {
  EXPECT_EQ(run({"--input-file", "/nonexistent/recording.bin"}), 0);
  EXPECT_EQ(console.out(), "An error occurred: Invalid file format.\n" + closing_lines);
  EXPECT_EQ(console.err(), "");
  EXPECT_TRUE(fake.destroyed);
  EXPECT_EQ(fake.starts, 0);
}

TEST_F(EmulatorEntry, UnknownSourceStartsNothing) {
  EXPECT_EQ(run({"--input-file", write_file(dump_bytes::header(5, "xxxx"))}), 0);
  EXPECT_EQ(console.out(), "An error occurred: invalid map<K, T> key\n" + closing_lines);
  EXPECT_EQ(fake.starts + idle.starts, 0);
}

TEST_F(EmulatorEntry, HeaderOnlyFileStartsAndReleasesTheProducer) {
  EXPECT_EQ(run({"--input-file", write_file(dump_bytes::header(0, "fake"))}), 0);
  const std::string replay_lines =
      "Using emulator: fake\nFrames per second: 0\nEmulator started\nEmulator reached end of file\n";
  EXPECT_EQ(console.out(), replay_lines + closing_lines);
  EXPECT_EQ(fake.starts, 1);
  EXPECT_EQ(idle.starts, 0);
  // Released before the closing lines.
  EXPECT_EQ(fake.output_when_destroyed, replay_lines);
  EXPECT_TRUE(idle.destroyed);
}

TEST_F(EmulatorEntry, CorruptRecordEndsTheReplayAfterTheGoodFrames) {
  const Bytes garbage(40, 0x5a);
  const std::string bytes = dump_bytes::header(0, "fake") + dump_bytes::record(payload(10, 1)) +
                            dump_bytes::record(payload(20, 2)) + dump_bytes::raw_record(40, 100, garbage) +
                            dump_bytes::record(payload(30, 3));
  EXPECT_EQ(run({"--input-file", write_file(bytes)}), 0);
  const std::string replay_lines = "Using emulator: fake\nFrames per second: 0\nEmulator started\n";
  EXPECT_EQ(console.out(),
            replay_lines + "An error occurred: Failed to decompress data. File is corrupted?\n" + closing_lines);
  EXPECT_EQ(fake.written, (std::vector<Bytes>{payload(10, 1), payload(20, 2)}));
  // The error is printed only once the producer has been released.
  EXPECT_EQ(fake.output_when_destroyed, replay_lines);
}

TEST_F(EmulatorEntry, StopRequestEndsTheReplayWithoutTheEndOfFileLine) {
  on_write = [this] { stop_flag = true; };
  const std::string bytes = dump_bytes::header(0, "fake") + dump_bytes::record(payload(10, 1)) +
                            dump_bytes::record(payload(20, 2));
  EXPECT_EQ(run({"--input-file", write_file(bytes)}), 0);
  EXPECT_EQ(console.out(), "Using emulator: fake\nFrames per second: 0\nEmulator started\n" + closing_lines);
  EXPECT_EQ(fake.written.size(), 1u);
}

TEST_F(EmulatorEntry, ProducerThatCannotStartIsReported) {
  on_start = [] { throw std::runtime_error("Failed to create file mapping"); };
  EXPECT_EQ(run({"--input-file", write_file(dump_bytes::header(5, "fake"))}), 0);
  EXPECT_EQ(console.out(), "Using emulator: fake\nAn error occurred: Failed to create file mapping\n" + closing_lines);
}

TEST_F(EmulatorEntry, InterruptHandlerFailureReleasesTheStartedProducer) {
  fail_stop_signal = true;
  EXPECT_EQ(run({"--input-file", write_file(dump_bytes::header(5, "fake"))}), 0);
  EXPECT_EQ(console.out(),
            "Using emulator: fake\nAn error occurred: Error setting console control handler.\n" + closing_lines);
  EXPECT_EQ(fake.starts, 1);
  EXPECT_EQ(fake.output_when_destroyed, "Using emulator: fake\n");
}

}  // namespace
