// Faults from outside, end to end: the programs killed outright,
// interrupted, or asked to end at random moments of their work, and names
// left behind by a killed replay. Each test is named after what it proves.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "common/byte_coding.h"
#include "e2e_support.h"
#include "formats/acc_pages.h"
#include "formats/dump_frames.h"
#include "formats/dump_index.h"
#include "formats/iracing_snapshot.h"
#include "standin_reference.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

// Through a runner (Wine) every start takes about a second: fewer runs.
int runs(int native) { return programs_run_under_runner() ? std::max(2, native / 10) : native; }

// A random moment within `longest`; the seed is printed with every failure.
class RandomMoments {
 public:
  RandomMoments() : seed_(std::random_device{}()), engine_(seed_) {}
  std::chrono::milliseconds within(std::chrono::milliseconds longest) {
    return std::chrono::milliseconds(std::uniform_int_distribution<long>(0, longest.count())(engine_));
  }
  std::string trace() const { return "random seed " + std::to_string(seed_); }

 private:
  unsigned seed_;
  std::mt19937 engine_;
};

std::vector<std::vector<std::uint8_t>> acc_frames(int count, std::uint8_t fill_offset) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 1; i <= count; ++i) {
    acc::PageSet pages = acc::default_page_set();
    const auto value = static_cast<std::uint8_t>(i + fill_offset);
    pages.graphics.fill(value);
    coding::encode_i32(pages.graphics.data() + 4, 2);               // sim_status: live
    pages.graphics[200] = static_cast<std::uint8_t>(value ^ 0xff);  // the two texts differ: a recorder connects
    pages.physics.fill(static_cast<std::uint8_t>(i * 3));
    frames.push_back(acc::to_payload(pages));
  }
  return frames;
}

// Removes the names a killed program left in the sandbox's namespace.
void remove_names(const E2eSandbox& sandbox) {
  for (const auto& name : shared_memory_names(sandbox.name_prefix())) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path("/dev/shm") / name, ignored);
  }
}

}  // namespace

TEST(DumperKilledOutright, EveryFileReplaysWithEveryCompleteFrameAsPublished) {
  E2eSandbox sandbox("kill_dumper");
  RandomMoments moments;
  SCOPED_TRACE(moments.trace());
  std::vector<std::filesystem::path> files;
  {
    auto standin = start_standin(sandbox, {"--rate", "120"});
    for (int run = 0; run < runs(20); ++run) {
      const std::string where = "run" + std::to_string(run);
      auto dumper = sandbox.start("dumper", {"--fps", "60"}, "dumper", where);
      ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
      std::this_thread::sleep_for(moments.within(400ms));
      dumper->send_signal(SIGKILL);
      const auto status = dumper->wait_for_exit(10s);
      ASSERT_TRUE(status && !status->exited && status->signal == SIGKILL);
      const auto found = sandbox.dump_files(where);
      ASSERT_EQ(found.size(), 1u) << where;
      files.push_back(found.front());
    }
    stop_with_interrupt(*standin, "stand-in");
  }

  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    // Only the end may be cut: what follows the complete records is the
    // beginning of one more record.
    const DumpIndex index = DumpIndex::scan(file);
    const std::string bytes = read_file(file);
    const std::uint64_t cut = bytes.size() - index.intact_length();
    if (cut >= 8) {
      const std::uint32_t declared = coding::decode_u32(bytes.data() + index.intact_length());
      EXPECT_LT(cut - 8, declared) << "more than one record's beginning after the complete ones";
    }
    DumpFrames frames(file);
    Payloads payloads;
    for (std::size_t frame = 0; frame < frames.size(); ++frame) payloads.push_back(frames.read(frame));
    if (!payloads.empty()) expect_published_iracing_frames(payloads);

    const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", file.string()}, "replay");
    EXPECT_EQ(replay.status.code, 0);
    // A kill inside a record's write leaves its beginning: the replay says
    // so before it starts, and plays the frames before it.
    std::string start = "Using emulator: irac\nFrames per second: 60\n";
    if (index.damage()) {
      start += "The recording is damaged at frame " + std::to_string(frames.size()) + " (byte " +
               std::to_string(index.intact_length()) + "): ";
    }
    EXPECT_EQ(replay.output.rfind(start, 0), 0u) << replay.output;
    EXPECT_NE(replay.output.find("Emulator started\n"), std::string::npos) << replay.output;
    const std::string end = cut >= 8 ? "An error occurred: Failed to decompress data. File is corrupted?\n"
                                     : "Emulator reached end of file\n";
    EXPECT_NE(replay.output.find(end + emulator_closing_lines), std::string::npos) << replay.output;
  }
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(CtrlCAtAnyMomentOfARecording, EndsWithExitZeroACompleteFileAndNoNameLeft) {
  E2eSandbox sandbox("interrupt_recording");
  RandomMoments moments;
  SCOPED_TRACE(moments.trace());
  auto standin = start_standin(sandbox, {"--rate", "120"});
  const auto sorted_names = [&] {
    auto names = shared_memory_names(sandbox.name_prefix());
    std::sort(names.begin(), names.end());
    return names;
  };
  const auto standin_names = sorted_names();
  for (int run = 0; run < runs(50); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string where = "run" + std::to_string(run);
    auto dumper = sandbox.start("dumper", {"--fps", "60"}, "dumper", where);
    ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s)) << dumper->standard_output();
    // From the first poll, through the connection, into the recording.
    std::this_thread::sleep_for(moments.within(250ms));
    stop_with_interrupt(*dumper, "dumper");
    const std::string output = dumper->standard_output();
    EXPECT_NE(output.find(interrupt_line), std::string::npos) << output;
    EXPECT_EQ(output.substr(output.size() - std::string(dumper_closing_lines).size()), dumper_closing_lines);
    for (const auto& file : sandbox.dump_files(where)) {
      const DumpContents dump = read_dump(file);
      EXPECT_TRUE(dump.ends_cleanly) << file;
      expect_published_iracing_frames(dump.frames);
    }
    EXPECT_EQ(sorted_names(), standin_names);
  }
  stop_with_interrupt(*standin, "stand-in");
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(CtrlCAtAnyMomentOfAReplay, EndsWithExitZeroAndNoNameLeft) {
  E2eSandbox sandbox("interrupt_replay");
  RandomMoments moments;
  SCOPED_TRACE(moments.trace());
  write_dump(sandbox.directory() / "irac.bin", 60, make_source_id("irac"), iracing_payloads(300, 0));
  write_dump(sandbox.directory() / "accz.bin", 60, make_source_id("accz"), acc_frames(300, 0));
  for (int run = 0; run < runs(50); ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const std::string id = run % 2 == 0 ? "irac" : "accz";
    auto emulator = sandbox.start("emulator", {"--input-file", id + ".bin"}, "emulator");
    // The interrupt handler is installed once the producer has started.
    ASSERT_TRUE(emulator->wait_for_output("Emulator started\n", 30s)) << emulator->standard_output();
    std::this_thread::sleep_for(moments.within(200ms));
    stop_with_interrupt(*emulator, "emulator");
    EXPECT_EQ(emulator->standard_output(), replay_start_lines(id, 60) + interrupt_line + emulator_closing_lines);
    EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
  }
}

TEST(TerminationRequests, EndBothProgramsByTheSignalWithTheirWorkClosedAndNoNameLeft) {
  if (programs_run_under_runner()) GTEST_SKIP() << "POSIX signals; a console window's close has its own default";
  E2eSandbox sandbox("terminate");
  RandomMoments moments;
  SCOPED_TRACE(moments.trace());
  write_dump(sandbox.directory() / "accz.bin", 60, make_source_id("accz"), acc_frames(300, 0));
  for (const int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE("signal " + std::to_string(signal_number));
    const auto expect_ended_by_signal = [&](ChildProcess& process) {
      process.send_signal(signal_number);
      const auto status = process.wait_for_exit(30s);
      ASSERT_TRUE(status.has_value()) << "still running";
      EXPECT_FALSE(status->exited);
      EXPECT_EQ(status->signal, signal_number);
    };

    // Waiting for a source: polling ACC creates its pages for a moment.
    auto waiting = sandbox.start("dumper", {"--fps", "60"}, "waiting");
    ASSERT_TRUE(waiting->wait_for_output("Waiting for the connection\n", 30s));
    std::this_thread::sleep_for(moments.within(1500ms));
    expect_ended_by_signal(*waiting);
    EXPECT_EQ(waiting->standard_output(), "Frames per second: 60\nWaiting for the connection\n");
    EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());

    // Replaying: the names are the emulator's own.
    auto replay = sandbox.start("emulator", {"--input-file", "accz.bin"}, "replay");
    ASSERT_TRUE(replay->wait_for_output("Emulator started\n", 30s));
    std::this_thread::sleep_for(moments.within(300ms));
    expect_ended_by_signal(*replay);
    EXPECT_EQ(replay->standard_output(), replay_start_lines("accz", 60));
    EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());

    // Recording: the file is closed whole, as after Ctrl+C.
    const std::string where = "record" + std::to_string(signal_number);
    {
      auto standin = start_standin(sandbox, {"--rate", "120"});
      auto recording = sandbox.start("dumper", {"--fps", "60"}, "recording", where);
      ASSERT_TRUE(recording->wait_for_output("Saver started\n", 30s));
      std::this_thread::sleep_for(moments.within(300ms));
      expect_ended_by_signal(*recording);
      EXPECT_EQ(recording->standard_output().find("Dumper thread stopped."), std::string::npos);
      stop_with_interrupt(*standin, "stand-in");
    }
    const auto files = sandbox.dump_files(where);
    ASSERT_EQ(files.size(), 1u);
    const DumpContents dump = read_dump(files.front());
    EXPECT_TRUE(dump.ends_cleanly);
    expect_published_iracing_frames(dump.frames);
    EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
  }
}

std::string describe_frame(bool iracing, const std::vector<std::uint8_t>& frame) {
  if (!iracing)
    return std::to_string(frame.size()) + " bytes, status " + std::to_string(frame.size() > 4 ? frame[4] : -1);
  try {
    const auto snapshot = iracing::parse_snapshot(frame);
    return "status " + std::to_string(snapshot.header.status) + ", tick " +
           std::to_string(snapshot.header.buffer_slots[0].tick_count) + ", row of " +
           std::to_string(snapshot.row.size()) + " bytes starting " +
           (snapshot.row.empty() ? std::string("-") : std::to_string(snapshot.row.front())) + ", text " +
           std::to_string(snapshot.session_info.size());
  } catch (const std::exception& error) {
    return error.what();
  }
}

TEST(NamesLeftByAKilledEmulator, DoNotHinderTheNextEmulatorOrDumper) {
  E2eSandbox sandbox("stale_names");
  for (const std::string id : {"irac", "accz"}) {
    SCOPED_TRACE(id);
    const bool iracing = id == "irac";
    const auto killed_frames = iracing ? iracing_payloads(600, 0) : acc_frames(600, 0);
    const auto next_frames = iracing ? iracing_payloads(180, 100) : acc_frames(180, 100);
    write_dump(sandbox.directory() / (id + "_killed.bin"), 60, make_source_id(id), killed_frames);
    write_dump(sandbox.directory() / (id + "_next.bin"), 60, make_source_id(id), next_frames);

    auto killed = sandbox.start("emulator", {"--input-file", id + "_killed.bin"}, "killed");
    ASSERT_TRUE(killed->wait_for_output("Emulator started\n", 30s));
    std::this_thread::sleep_for(300ms);
    killed->send_signal(SIGKILL);
    ASSERT_TRUE(killed->wait_for_exit(10s).has_value());
    if (!programs_run_under_runner()) {
      EXPECT_FALSE(shared_memory_names(sandbox.name_prefix()).empty());
    }

    const std::string where = "after_" + id;
    auto dumper = sandbox.start("dumper", {"--fps", "30"}, "dumper", where);
    ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
    const RunResult next = run_to_end(sandbox, "emulator", {"--input-file", id + "_next.bin"}, "next");
    EXPECT_EQ(next.output, replay_start_lines(id, 60) + "Emulator reached end of file\n" + emulator_closing_lines);
    ASSERT_TRUE(dumper->wait_for_output("Connected to " + id + "\n", 10s)) << dumper->standard_output();
    std::this_thread::sleep_for(300ms);
    stop_with_interrupt(*dumper, "dumper");

    // The recording holds the next replay's frames (at half its rate, as
    // the two rates allow), besides what the killed one left in the memory.
    std::size_t from_next = 0;
    for (const auto& file : sandbox.dump_files(where)) {
      const DumpContents dump = read_dump(file);
      EXPECT_TRUE(dump.ends_cleanly);
      for (const auto& frame : dump.frames) {
        const bool is_next = std::find(next_frames.begin(), next_frames.end(), frame) != next_frames.end();
        const bool is_killed = std::find(killed_frames.begin(), killed_frames.end(), frame) != killed_frames.end();
        if (is_next) ++from_next;
        // ACC: after the replay its last page images stay, now with the status 0.
        EXPECT_TRUE(is_next || is_killed || (!iracing && frame[4] == 0))
            << "a frame from neither replay: " << describe_frame(iracing, frame);
      }
    }
    EXPECT_GE(from_next, 20u);
    remove_names(sandbox);
  }
}

// A waiting recorder polls for ACC once a second. Replays started at any
// moment of that poll all start: the recorder has no page of its own that a
// replay could find in place of the one it needs. The frames show the
// simulator off, so the recorder keeps polling throughout.
TEST(ReplaysStartedWhileARecorderWaits, AllStart) {
  E2eSandbox sandbox("acc_replays_while_waiting");
  RandomMoments moments;
  SCOPED_TRACE(moments.trace());
  write_dump(sandbox.directory() / "off.bin", 60, make_source_id("accz"), {acc::to_payload(acc::default_page_set())});
  auto dumper = sandbox.start("dumper", {"--fps", "30"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
  for (int run = 0; run < runs(50); ++run) {
    std::this_thread::sleep_for(moments.within(150ms));
    const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", "off.bin"}, "replay");
    ASSERT_EQ(replay.output, replay_start_lines("accz", 60) + "Emulator reached end of file\n" + emulator_closing_lines)
        << "run " << run;
  }
  stop_with_interrupt(*dumper, "dumper");
  EXPECT_EQ(dumper->standard_output().find("Connected"), std::string::npos);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

}  // namespace vove
