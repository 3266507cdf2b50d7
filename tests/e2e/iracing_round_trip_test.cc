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

namespace vove {

using namespace std::chrono_literals;

namespace {

void expect_replay_matches_recording(const DumpContents& original, const DumpContents& replayed, int fps) {
  ASSERT_TRUE(original.ends_cleanly);
  ASSERT_TRUE(replayed.ends_cleanly);
  EXPECT_EQ(replayed.fps, static_cast<std::uint32_t>(fps));
  EXPECT_EQ(replayed.source_id, make_source_id("irac"));
  const auto first = iracing_frames(original);
  const auto second = iracing_frames(replayed);
  ASSERT_GE(first.size(), 5u);
  ASSERT_FALSE(second.empty());

  // Each file carries the session text in its first frame.
  EXPECT_FALSE(first.front().snapshot.session_info.empty());
  EXPECT_FALSE(second.front().snapshot.session_info.empty());
  // Within the stretch both recordings cover the rates are not in phase, so
  // a frame may be missed now and then, but no more.
  const std::size_t overlap = expect_replayed_as_recorded(first, second);
  EXPECT_GE(second.size() * 4, overlap * 3) << second.size() << " of " << overlap;
}

void round_trip_at(int fps, std::chrono::milliseconds length, const std::string& name) {
  E2eSandbox sandbox(name);
  // A new session text every half second: several changes in a short run.
  const auto recording = record_standin(sandbox, {"--sim", "iracing", "--session-every", "0.5"}, fps, length);
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
  auto standin = start_standin(sandbox, {"--pause-after", "2", "--resume-after", "1"});
  auto dumper = sandbox.start("dumper", {"--fps", "30"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Source is down, disconnecting\n", 30s)) << dumper->standard_output();
  ASSERT_TRUE(
      dumper->wait_for_output("Saver started\nSource is down, disconnecting\nWaiting for the connection\n"
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
    EXPECT_FALSE(iracing::parse_snapshot(dump.frames.front()).session_info.empty()) << file;
  }
}

TEST(IracingReplay, CtrlCEndsTheReplayAndReleasesTheNames) {
  E2eSandbox sandbox("irac_replay_interrupt");
  write_dump(sandbox.directory() / "long.bin", 60, make_source_id("irac"), iracing_payloads(600, 0));

  auto emulator = sandbox.start("emulator", {"--input-file", "long.bin"}, "emulator");
  ASSERT_TRUE(emulator->wait_for_output("Emulator started\n", 30s)) << emulator->standard_output();
  std::this_thread::sleep_for(1s);
  stop_with_interrupt(*emulator, "emulator");
  EXPECT_EQ(emulator->standard_output(), replay_start_lines("irac", 60) + interrupt_line + emulator_closing_lines);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(IracingRecording, AFullDiskEndsWithAnErrorAndKeepsEveryCompleteFrame) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the file size limit is a POSIX shell feature";
  E2eSandbox sandbox("irac_full_disk");
  auto standin = start_standin(sandbox, {});
  // A 64 KiB limit stands in for a full disk.
  auto dumper = start_with_limits(sandbox, "dumper", "-f 128", {"--fps", "60"});
  const auto status = dumper->wait_for_exit(60s);
  stop_with_interrupt(*standin, "stand-in");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
  const std::string output = dumper->standard_output();
  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 1u);
  const std::string name = files.front().filename().string();
  EXPECT_NE(output.find("An error occurred: Failed to write the file " + name + ": iostream stream error\n" +
                        "Reason: File too large (file " + name + ")\n" + dumper_closing_lines),
            std::string::npos)
      << output;
  const DumpContents dump = read_dump(files.front());
  EXPECT_TRUE(dump.ends_cleanly);
  EXPECT_FALSE(dump.frames.empty());
}

}  // namespace vove
