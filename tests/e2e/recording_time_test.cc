// A recording keeps time: it holds one frame for every period it covers, so
// that its replay at the recorded rate takes as long as the session did.
// The stand-in's tick, 60 a second on deadlines of its own, is the clock the
// recording is measured against.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <thread>

#include "e2e_support.h"

namespace vove {

using namespace std::chrono_literals;

// Held off the processor for half a second (SIGSTOP, then SIGCONT), the
// recorder still has a frame for every deadline it missed: the simulator
// seems to stand still for that moment, and no time is lost.
TEST(RecordingKeepsTime, ARecorderHeldUpMakesUpEveryFrameItMissed) {
  if (programs_run_under_runner()) GTEST_SKIP() << "SIGSTOP holds a native process";
  E2eSandbox sandbox("recording_time");
  auto standin = start_standin(sandbox, {"--rate", "60"});
  auto dumper = sandbox.start("dumper", {"--fps", "20"}, "dumper");
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  std::this_thread::sleep_for(1s);
  ASSERT_EQ(::kill(dumper->pid(), SIGSTOP), 0);
  std::this_thread::sleep_for(500ms);
  ASSERT_EQ(::kill(dumper->pid(), SIGCONT), 0);
  std::this_thread::sleep_for(1s);
  stop_with_interrupt(*dumper, "dumper");
  EXPECT_EQ(dumper->standard_output().find("repeat"), std::string::npos) << "the count is for standard error";

  const auto files = sandbox.dump_files();
  ASSERT_EQ(files.size(), 1u);
  const auto frames = iracing_frames(read_dump(files.front()));
  ASSERT_GE(frames.size(), 40u);
  // Three of the stand-in's ticks per frame at 20 frames a second.
  const double periods = (frames.back().tick - frames.front().tick) / 3.0;
  EXPECT_NEAR(static_cast<double>(frames.size() - 1), periods, 3.0)
      << frames.size() << " frames for " << periods << " periods of the source's clock";
  // The half second held up is there, as the newest frame again and again.
  std::size_t longest_run = 0;
  for (std::size_t i = 1, run = 0; i < frames.size(); ++i) {
    run = frames[i].tick == frames[i - 1].tick ? run + 1 : 0;
    longest_run = std::max(longest_run, run);
  }
  EXPECT_GE(longest_run, 7u) << "about 10 frames repeat the one before the hold-up";
  EXPECT_NE(dumper->standard_error().find(" frames repeat the frame before"), std::string::npos)
      << dumper->standard_error();
}

}  // namespace vove
