// ACC end to end: the stand-in publishes the three pages, dumper records
// them, emulator replays the file into the pages, and dumper records the
// replay; the replayed payloads must be the recorded ones.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_coding.h"
#include "common/platform/platform.h"
#include "e2e_support.h"
#include "standin_reference.h"
#include "formats/acc_pages.h"

namespace vove {

using namespace std::chrono_literals;

namespace {

std::int32_t sim_status(const std::vector<std::uint8_t>& payload) {
  return coding::decode_i32(payload.data() + acc::sim_status_offset);
}

// Every name created in /dev/shm while it watches, however briefly it
// existed: a name made and removed again within one poll is seen too.
class ShmCreations {
 public:
  ShmCreations() : descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (descriptor_ < 0 || inotify_add_watch(descriptor_, "/dev/shm", IN_CREATE | IN_MOVED_TO) < 0)
      throw std::runtime_error(std::string("cannot watch /dev/shm: ") + std::strerror(errno));
  }
  ShmCreations(const ShmCreations&) = delete;
  ShmCreations& operator=(const ShmCreations&) = delete;
  ~ShmCreations() { ::close(descriptor_); }

  // The names beginning with `prefix` created so far, waiting up to `limit`.
  std::vector<std::string> collect(const std::string& prefix, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
      pollfd watch{descriptor_, POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
      if (::poll(&watch, 1, static_cast<int>(left.count()) + 1) > 0) read_events(prefix);
    }
    return names_;
  }

 private:
  void read_events(const std::string& prefix) {
    alignas(inotify_event) char buffer[16384];
    const ssize_t length = ::read(descriptor_, buffer, sizeof buffer);
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const std::string name(buffer + at + sizeof event, strnlen(buffer + at + sizeof event, event.len));
      if (name.rfind(prefix, 0) == 0 || name.rfind("sem." + prefix, 0) == 0) names_.push_back(name);
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }

  int descriptor_;
  std::vector<std::string> names_;
};

}  // namespace

TEST(AccRoundTrip, ReplayedPagesEqualTheRecordedOnes) {
  E2eSandbox sandbox("acc_round_trip");
  const auto recording = record_standin(sandbox, {"--sim", "acc", "--rate", "60"}, 20, 2s);
  ASSERT_FALSE(recording.empty());
  const DumpContents original = read_dump(recording);
  EXPECT_EQ(original.source_id, make_source_id("accz"));
  EXPECT_EQ(original.fps, 20u);
  ASSERT_GE(original.frames.size(), 10u);
  expect_published_acc_frames(original.frames, 60.0);

  auto dumper = sandbox.start("dumper", {"--fps", "20"}, "rerecord", "replay");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
  const RunResult replay = run_to_end(sandbox, "emulator", {"--input-file", recording.string()}, "replay");
  EXPECT_EQ(replay.output, replay_start_lines("accz", 20) + "Emulator reached end of file\n" + emulator_closing_lines);
  // An ACC recording ends only with Ctrl+C: after the replay the recorder
  // keeps reading the last page images, now with the status 0.
  std::this_thread::sleep_for(500ms);
  stop_with_interrupt(*dumper, "second dumper");
  EXPECT_NE(dumper->standard_output().find("Connected to accz\n"), std::string::npos);

  const auto replay_files = sandbox.dump_files("replay");
  ASSERT_EQ(replay_files.size(), 1u);
  const DumpContents replayed = read_dump(replay_files.front());
  ASSERT_FALSE(replayed.frames.empty());
  // Every live frame of the replay is a recorded frame, in recorded order
  // (a frame may repeat or be skipped: the two rates are not in phase).
  std::size_t position = 0;
  std::size_t live = 0;
  for (const auto& payload : replayed.frames) {
    expect_acc_size_and_gaps(payload);
    if (sim_status(payload) == 0) continue;
    ++live;
    const auto found =
        std::find(original.frames.begin() + static_cast<std::ptrdiff_t>(position), original.frames.end(), payload);
    ASSERT_NE(found, original.frames.end()) << "a replayed frame was never recorded, or came out of order";
    position = static_cast<std::size_t>(found - original.frames.begin());
  }
  EXPECT_GT(live, 0u);
  // After the replay a reader still holding the pages sees the simulator off.
  EXPECT_EQ(sim_status(replayed.frames.back()), 0);
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

// A recorder waiting for a simulator creates no name of its own, not even
// for the moment of a poll (three polls are watched).
TEST(AccRecording, AWaitingRecorderCreatesNoName) {
  if (programs_run_under_runner()) GTEST_SKIP() << "under a runner the names are not in /dev/shm";
  E2eSandbox sandbox("acc_waiting_names");
  ShmCreations creations;
  auto dumper = sandbox.start("dumper", {}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Waiting for the connection\n", 30s));
  const std::vector<std::string> created = creations.collect(sandbox.name_prefix(), 3s);
  stop_with_interrupt(*dumper, "dumper");
  EXPECT_TRUE(created.empty()) << created.size() << " names, the first " << created.front();
  EXPECT_TRUE(shared_memory_names(sandbox.name_prefix()).empty());
}

TEST(AccRecording, WithBothSimulatorsRunningIRacingIsRecorded) {
  E2eSandbox sandbox("both_simulators");
  auto acc = start_standin(sandbox, {"--sim", "acc"}, "acc");
  auto iracing = start_standin(sandbox, {"--sim", "iracing"}, "iracing");
  auto dumper = sandbox.start("dumper", {"--fps", "30"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  stop_with_interrupt(*dumper, "dumper");
  EXPECT_NE(dumper->standard_output().find("Connected to irac\n"), std::string::npos);
  EXPECT_EQ(dumper->standard_output().find("Connected to accz"), std::string::npos);
  stop_with_interrupt(*acc, "ACC stand-in");
  stop_with_interrupt(*iracing, "iRacing stand-in");
}

TEST(AccReplay, APageTooSmallForTheEmulatorEndsWithTheMapError) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the page is created natively by the test";
  E2eSandbox sandbox("acc_small_page");
  // Another program holds the physics page with only its image size.
  const auto page = platform::SharedMemory::create_or_open(acc::physics_page.mapping_name, 800);
  ASSERT_TRUE(page);
  write_dump(sandbox.directory() / "acc.bin", 10, make_source_id("accz"), {acc::to_payload(acc::default_page_set())});
  const RunResult result = run_to_end(sandbox, "emulator", {"--input-file", "acc.bin"}, "emulator");
  EXPECT_EQ(result.status.code, 0);
  // The system's reason follows the error line, naming the page and its size.
  EXPECT_EQ(result.output,
            "Using emulator: accz\nAn error occurred: Failed to map view\n"
            "Reason: the region holds 800 bytes, fewer than the 5000 asked for (shared memory "
            "/dev/shm/" +
                sandbox.name_prefix() + "acpmf_physics)\n" + std::string(emulator_closing_lines));
}

// With --idle-end, a recording of pages that stand still ends like one of a
// simulator that went away, though the pages are still there; the next file
// starts once they move again. (The stand-in's pause also marks the
// simulator off, which alone never ends an ACC recording.)
TEST(AccRecording, AnIdleEndClosesTheFileWhileThePagesStandStill) {
  E2eSandbox sandbox("acc_idle_end");
  auto standin = start_standin(sandbox, {"--sim", "acc", "--pause-after", "2", "--resume-after", "3"});
  auto dumper = sandbox.start("dumper", {"--fps", "20", "--idle-end", "1"}, "dumper");
  ASSERT_TRUE(
      dumper->wait_for_output("Saver started\nSource is down, disconnecting\nWaiting for the connection\n"
                              "Connected to accz\n",
                              30s))
      << dumper->standard_output();
  std::this_thread::sleep_for(500ms);
  stop_with_interrupt(*dumper, "dumper");
  stop_with_interrupt(*standin, "stand-in");

  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 2u);
  const DumpContents first = read_dump(files[0]);
  const DumpContents second = read_dump(files[1]);
  ASSERT_TRUE(first.ends_cleanly && second.ends_cleanly);
  ASSERT_GE(first.frames.size(), 20u);
  ASSERT_FALSE(second.frames.empty());
  const auto physics_packet = [](const std::vector<std::uint8_t>& payload) {
    return coding::decode_i32(payload.data() + acc::physics_page.payload_offset);
  };
  // The last second of the first file shows pages that did not move.
  EXPECT_EQ(physics_packet(first.frames.back()), physics_packet(first.frames[first.frames.size() - 15]));
  EXPECT_GT(physics_packet(second.frames.front()), physics_packet(first.frames.back()));
}

}  // namespace vove
