// iRacing end to end: the stand-in publishes, dumper records, emulator
// replays the file, and dumper records the replay; the second recording
// must hold the first one's frames, byte for byte.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <map>
#include <thread>

#include "e2e_support.h"
#include "standin_reference.h"
#include "formats/iracing_layout.h"
#include "formats/iracing_snapshot.h"

using namespace std::chrono_literals;

namespace {

struct RecordedFrame {
  std::int32_t tick = 0;
  iRacing::Snapshot snapshot;
};

std::vector<RecordedFrame> iracing_frames(const DumpContents& dump) {
  std::vector<RecordedFrame> frames;
  for (const auto& payload : dump.frames) {
    RecordedFrame frame;
    frame.snapshot = iRacing::parse_snapshot(payload);
    const auto header = iRacing::decode_memory_header(
        std::span<const std::uint8_t, iRacing::memory_header_size>(payload.data(), iRacing::memory_header_size));
    frame.tick = header.buffer_slots[static_cast<std::size_t>(iRacing::newest_slot(header))].tick_count;
    frames.push_back(std::move(frame));
  }
  return frames;
}

// Records the running stand-in for `seconds` at `fps` into the sandbox.
std::filesystem::path record_standin(const E2eSandbox& sandbox, int fps, std::chrono::milliseconds length) {
  auto dumper = sandbox.start("dumper", {"--fps", std::to_string(fps)}, "record");
  EXPECT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  std::this_thread::sleep_for(length);
  stop_with_interrupt(*dumper, "dumper");
  const std::string output = dumper->standard_output();
  EXPECT_NE(output.find("Connected to irac\n"), std::string::npos) << output;
  const auto files = sandbox.dump_files();
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? std::filesystem::path() : files.front();
}

// Replays `recording` while a second dumper records the replay in "replay/".
DumpContents record_replay(const E2eSandbox& sandbox, const std::filesystem::path& recording, int fps) {
  auto dumper = sandbox.start("dumper", {"--fps", std::to_string(fps)}, "rerecord", "replay");
  EXPECT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
  const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", recording.string()}, "replay");
  EXPECT_EQ(replay.status.code, 0);
  EXPECT_NE(replay.output.find("Emulator reached end of file\n"), std::string::npos) << replay.output;
  // After the replay the tick stands still: the recorder declares the source
  // down after 21 empty reads.
  EXPECT_TRUE(dumper->wait_for_output("Source is down, disconnecting\n", 60s)) << dumper->standard_output();
  stop_with_interrupt(*dumper, "second dumper");
  const auto files = sandbox.dump_files("replay");
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? DumpContents{} : read_dump(files.front());
}

void expect_replay_matches_recording(const DumpContents& original, const DumpContents& replayed, int fps) {
  ASSERT_TRUE(original.ends_cleanly);
  ASSERT_TRUE(replayed.ends_cleanly);
  EXPECT_EQ(replayed.fps, static_cast<std::uint32_t>(fps));
  EXPECT_EQ(replayed.source_id, make_source_id("irac"));
  const auto first = iracing_frames(original);
  const auto second = iracing_frames(replayed);
  ASSERT_GE(first.size(), 5u);
  ASSERT_FALSE(second.empty());

  std::map<std::int32_t, std::size_t> index_by_tick;
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_TRUE(index_by_tick.emplace(first[i].tick, i).second) << "tick recorded twice: " << first[i].tick;
  }
  // Each file carries the session text in its first frame.
  EXPECT_FALSE(first.front().snapshot.session_info.empty());
  EXPECT_FALSE(second.front().snapshot.session_info.empty());

  std::int32_t previous_tick = std::numeric_limits<std::int32_t>::min();
  for (const auto& frame : second) {
    EXPECT_GT(frame.tick, previous_tick);
    previous_tick = frame.tick;
    const auto found = index_by_tick.find(frame.tick);
    ASSERT_NE(found, index_by_tick.end()) << "replayed tick " << frame.tick << " was never recorded";
    const auto& recorded = first[found->second].snapshot;
    EXPECT_EQ(frame.snapshot.header, recorded.header) << "tick " << frame.tick;
    EXPECT_EQ(frame.snapshot.variable_headers, recorded.variable_headers) << "tick " << frame.tick;
    EXPECT_EQ(frame.snapshot.row, recorded.row) << "tick " << frame.tick;
    if (!frame.snapshot.session_info.empty()) {
      // The text in memory is the latest one the recording carried.
      std::size_t with_text = found->second;
      while (with_text > 0 && first[with_text].snapshot.session_info.empty()) --with_text;
      EXPECT_EQ(frame.snapshot.session_info, first[with_text].snapshot.session_info) << "tick " << frame.tick;
    }
  }
  // The second recorder joins the replay at its next once-a-second poll, so
  // only the stretch both recordings cover is compared. Within it the rates
  // are not in phase, so a frame may be missed now and then, but no more.
  const auto overlap = std::count_if(first.begin(), first.end(), [&](const RecordedFrame& frame) {
    return frame.tick >= second.front().tick && frame.tick <= second.back().tick;
  });
  EXPECT_GE(second.size() * 4, static_cast<std::size_t>(overlap) * 3) << second.size() << " of " << overlap;
}

void round_trip_at(int fps, std::chrono::milliseconds length, const std::string& name) {
  E2eSandbox sandbox(name);
  std::filesystem::path recording;
  {
    // A new session text every half second: several changes in a short run.
    auto standin = sandbox.start("sim_standin", {"--sim", "iracing", "--session-every", "0.5"}, "standin");
    ASSERT_TRUE(standin->wait_for_output("Publishing", 30s)) << standin->standard_error();
    recording = record_standin(sandbox, fps, length);
    stop_with_interrupt(*standin, "stand-in");
  }
  ASSERT_FALSE(recording.empty());
  expect_records_match_compress2(recording);
  const DumpContents original = read_dump(recording);
  EXPECT_EQ(original.fps, static_cast<std::uint32_t>(fps));
  EXPECT_GE(expect_published_iracing_frames(original.frames), 3) << "frames that carried a new session text";
  const DumpContents replayed = record_replay(sandbox, recording, fps);
  expect_replay_matches_recording(original, replayed, fps);
  expect_published_iracing_frames(replayed.frames, {.check_session_text = false});
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

}  // namespace

TEST(IracingRoundTrip, SixtyFramesPerSecond) { round_trip_at(60, 3000ms, "irac60"); }

TEST(IracingRoundTrip, FiveFramesPerSecond) { round_trip_at(5, 4000ms, "irac5"); }

TEST(IracingRecording, SourceDownStartsANewSelfContainedFile) {
  E2eSandbox sandbox("irac_reconnect");
  auto standin = sandbox.start("sim_standin", {"--pause-after", "2", "--resume-after", "1"}, "standin");
  ASSERT_TRUE(standin->wait_for_output("Publishing", 30s));
  auto dumper = sandbox.start("dumper", {"--fps", "30"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Source is down, disconnecting\n", 30s)) << dumper->standard_output();
  ASSERT_TRUE(dumper->wait_for_output("Saver started\nSource is down, disconnecting\nWaiting for the connection\n"
                                      "Connected to irac\n",
                                      30s))
      << dumper->standard_output();
  std::this_thread::sleep_for(500ms);
  stop_with_interrupt(*dumper, "dumper");
  stop_with_interrupt(*standin, "stand-in");

  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 2u);
  for (const auto& file : files) {
    const DumpContents dump = read_dump(file);
    EXPECT_TRUE(dump.ends_cleanly);
    ASSERT_FALSE(dump.frames.empty()) << file;
    EXPECT_FALSE(iRacing::parse_snapshot(dump.frames.front()).session_info.empty()) << file;
  }
}

TEST(IracingReplay, CtrlCEndsTheReplayAndReleasesTheNames) {
  E2eSandbox sandbox("irac_replay_interrupt");
  std::vector<std::vector<std::uint8_t>> frames;
  for (int tick = 1; tick <= 600; ++tick) frames.push_back(make_iracing_payload(tick, 4096, static_cast<std::uint8_t>(tick)));
  write_dump(sandbox.directory() / "long.bin", 60, make_source_id("irac"), frames);

  auto emulator = sandbox.start("emulator", {"--input-file", "long.bin"}, "emulator");
  ASSERT_TRUE(emulator->wait_for_output("Emulator started\n", 30s)) << emulator->standard_output();
  std::this_thread::sleep_for(1s);
  stop_with_interrupt(*emulator, "emulator");
  EXPECT_EQ(emulator->standard_output(), std::string("Using emulator: irac\nFrames per second: 60\nEmulator started\n") +
                                             interrupt_line + emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(IracingRecording, AFullDiskEndsWithAnErrorAndKeepsEveryCompleteFrame) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the file size limit is a POSIX shell feature";
  E2eSandbox sandbox("irac_full_disk");
  auto standin = sandbox.start("sim_standin", {}, "standin");
  ASSERT_TRUE(standin->wait_for_output("Publishing", 30s));
  // A 64 KiB file size limit stands in for a full disk; the shell ignores
  // SIGXFSZ so that the write fails instead of killing the recorder.
  auto dumper = sandbox.start_command(
      {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 128; exec \"$0\" --fps 60", program_path("dumper")}, "dumper");
  const auto status = dumper->wait_for_exit(60s);
  stop_with_interrupt(*standin, "stand-in");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
  const std::string output = dumper->standard_output();
  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files.front().filename().string();
  EXPECT_NE(output.find("An error occurred: Failed to write the file " + name + ": iostream stream error\n" +
                        dumper_closing_lines),
            std::string::npos)
      << output;
  const DumpContents dump = read_dump(files.front());
  EXPECT_TRUE(dump.ends_cleanly);
  EXPECT_FALSE(dump.frames.empty());
}
