// The recorder against an iRacing source that misbehaves: rows rewritten
// while they are copied, and headers no simulator would publish.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "common/byte_coding.h"
#include "e2e_support.h"
#include "standin_reference.h"
#include "tools/sim_standin/iracing_fault_modes.h"

namespace vove {

using namespace std::chrono_literals;

TEST(RowsRewrittenWhileRecorded, NeverYieldATornRowOrARowOfAnotherTick) {
  E2eSandbox sandbox("stamped_rows");
  // A copy overlaps a rewrite in a few percent of the frames: enough frames
  // that a recorder without the tick re-check is all but sure to be caught.
  // On a loaded machine every copy for a while may overlap one, so the
  // recorder may take the source for down and start a second file; what
  // matters is that no file holds a torn row.
  auto standin = start_standin(sandbox, {"--stamped-rows", "--rate", "360"});
  auto dumper = sandbox.start("dumper", {"--fps", "60"}, "record");
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  std::this_thread::sleep_for(3s);
  stop_with_interrupt(*dumper, "dumper");
  stop_with_interrupt(*standin, "stand-in");
  std::size_t frames = 0;
  for (const auto& recording : sandbox.dump_files()) {
    const DumpContents dump = read_dump(recording);
    for (const auto& payload : dump.frames) {
      // The row is the payload's last part; its first and last four bytes
      // carry the tick it was written for.
      const std::size_t row_at = payload.size() - static_cast<std::size_t>(iracing::stamped_row_length);
      const std::int32_t tick = newest_tick_of(payload);
      ASSERT_EQ(coding::decode_i32(payload.data() + row_at), tick) << "a row of another tick, or torn";
      ASSERT_EQ(coding::decode_i32(payload.data() + payload.size() - 4), tick) << "a torn row";
    }
    if (!dump.frames.empty()) expect_published_iracing_frames(dump.frames, {.stamped_rows = true});
    frames += dump.frames.size();
  }
  EXPECT_GE(frames, 10u);
}

TEST(NonsenseHeaders, AreRecordedOrReportedWithBoundedMemoryAndNeverAHang) {
  if (programs_run_under_runner()) GTEST_SKIP() << "the memory limit is a POSIX shell feature";
  E2eSandbox sandbox("nonsense_headers");
  auto standin = start_standin(sandbox, {"--nonsense-headers", "--rate", "120"});
  // A header's word taken for memory would fail at the limit rather than take
  // the machine's; the sanitizer's quarantine keeps up to 256 MiB of freed frames.
  const long most_kib = (built_with_address_sanitizer ? 1024 : 256) * 1024;
  auto dumper = start_with_limits(sandbox, "dumper", built_with_address_sanitizer ? "" : "-v 1048576", {"--fps", "60"});
  ASSERT_TRUE(dumper->wait_for_output("Saver started\n", 30s)) << dumper->standard_output();
  // Through sane and nonsense stretches, the last ones with a negative
  // variable count, which the recorder may refuse.
  const auto ended_by_itself = dumper->wait_for_exit(3500ms);
  if (!ended_by_itself) dumper->send_signal(SIGINT);
  const auto status = dumper->wait_for_exit(20s);
  ASSERT_TRUE(status.has_value()) << "the recorder hangs";
  stop_with_interrupt(*standin, "stand-in");

  EXPECT_TRUE(status->exited);
  EXPECT_EQ(status->code, 0);
  const std::string output = dumper->standard_output();
  EXPECT_EQ(output.find("alloc"), std::string::npos) << output;
  EXPECT_NE(output.find(dumper_closing_lines), std::string::npos) << output;
  ASSERT_TRUE(dumper->peak_resident_kib());
  EXPECT_LT(*dumper->peak_resident_kib(), most_kib) << "KiB at the peak";

  std::size_t frames = 0;
  for (const auto& file : sandbox.dump_files()) {
    const DumpContents dump = read_dump(file);
    EXPECT_TRUE(dump.ends_cleanly) << file;
    // Whatever the header said, a recorded frame is whole: N variable
    // headers, the text and a row of the header's length, and nothing more.
    for (const auto& payload : dump.frames) {
      ASSERT_GE(payload.size(), 128u);
      const std::int32_t n = coding::decode_i32(payload.data() + 24);
      ASSERT_GE(n, 0);
      const std::size_t text_at = 120 + 144 * static_cast<std::size_t>(n);
      ASSERT_LE(text_at, payload.size());
      const std::uint64_t s = coding::decode_u64(payload.data() + text_at - 8);
      ASSERT_LE(s, payload.size() - text_at - 8);
      const std::uint64_t d = coding::decode_u64(payload.data() + text_at + s);
      EXPECT_EQ(d, static_cast<std::uint64_t>(coding::decode_i32(payload.data() + 36)));
      EXPECT_EQ(payload.size(), text_at + s + 8 + d);
    }
    frames += dump.frames.size();
  }
  EXPECT_GT(frames, 10u) << "the sane stretches were recorded";
}

}  // namespace vove
